#!/usr/bin/env bash
# Builds everything and runs every test: the core's unit tests, the entry
# fuzzer, checks of both exes, and the end-to-end tests of the real exes
# under Wine on a virtual display. Ends with CTest's summary, a line on how
# the i686 programs ran (natively, emulated: smoke suites only, or skipped),
# a line per package group this machine lacks with the tests skipped for it,
# and "N passed, N failed, N skipped".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# The builds this machine has the tools for; the tests of a missing one are
# reported skipped.
presets=()
tools/package_groups.sh has windows && presets+=(mingw-x86_64 mingw-i686)
tools/package_groups.sh has fuzz && presets+=(fuzz)
. scripts/build.sh
for preset in "${presets[@]}" linux; do build "$preset"; done
jobs=$(nproc)
results=build/linux/results.xml
status=0
# One test more than cores: the release builds, the end-to-end tests take
# turns on the display, and the ledger's server tests fill the waits of both.
ctest --preset linux -j $((jobs + 1)) --output-junit "$PWD/$results" || status=$?

read -r ia32 why < <(tools/ia32_mode.sh)
case $ia32 in
  native) echo "i686 programs: ran natively; every i686 suite ran" ;;
  emulated) echo "i686 programs: ran emulated ($why); the smoke suites ran, the others are reported skipped" ;;
  *) echo "i686 programs: skipped ($why); every i686 suite is reported skipped" ;;
esac
python3 - "$results" <<'PYTHON'
import collections
import re
import sys
import xml.etree.ElementTree as tree
cases = list(tree.parse(sys.argv[1]).getroot().iter('testcase'))
states = [case.get('status') for case in cases]
lacking = collections.defaultdict(list)
for case in cases:
    said = re.match(r'skipped for lack of (\S+): (.*)', (case.findtext('system-out') or '').strip())
    if case.get('status') == 'notrun' and said:
        lacking[said[1], said[2]].append(case.get('name'))
for (group, why), names in lacking.items():
    print(f'skipped for lack of {group}: {len(names)} tests ({why})')
failed = sum(state not in ('run', 'notrun') for state in states)
print(f'{states.count("run")} passed, {failed} failed, {states.count("notrun")} skipped')
PYTHON
exit $status
