#!/usr/bin/env python3
"""scripts/install-deps.sh against a package registry that answers only in
part, without touching this machine's packages: apt-get, apt-config, dpkg and
dpkg-query are stubs on PATH, keeping their packages in a scratch folder. An
index that fails to update is a warning; each group is tried on its own; a
group that cannot be installed is named with what is skipped for it; only a
missing build group fails the script. The source-package list is made from
the machine's own sources."""
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
GROUPS = ROOT / 'tools' / 'package_groups.sh'

# Each stub logs its call to $STUB/calls; installed packages are kept in $STUB/installed.
STUBS = {
    'apt-get': r'''
echo "apt-get $*" >>"$STUB/calls"
case " $* " in
  *" update "*)
    echo "E: Failed to fetch http://mirror.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
esac
packages=()
for arg in "$@"; do case $arg in -*|install) ;; *) packages+=("$arg") ;; esac; done
for package in "${packages[@]}"; do
  if [[ " $REFUSE " == *" $package "* ]]; then
    echo "E: Unable to correct problems, you have held broken packages." >&2
    exit 100
  fi
done
printf '%s\n' "${packages[@]}" >>"$STUB/installed"
''',
    'apt-config': r'''echo "etc='$STUB/etc/'"; echo "parts='$STUB/etc/sources.list.d/'"''',
    'dpkg': r'''echo "dpkg $*" >>"$STUB/calls"''',
    'dpkg-query': r'''
[ -f "$STUB/installed" ] || exit 0
while read -r package; do
  name=${package%%:*}
  arch=amd64; [ "$name" = "$package" ] || arch=${package#*:}
  echo "installed $name $name:$arch"
done <"$STUB/installed"
''',
    'sudo': r'''exec "$@"''',
}

SOURCES = '''Types: deb
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
'''


def group_packages(group):
    return subprocess.run([GROUPS, 'packages', group], capture_output=True, text=True, check=True).stdout.split()


ALL_GROUPS = subprocess.run([GROUPS, 'groups'], capture_output=True, text=True, check=True).stdout.split()


class InstallDeps(unittest.TestCase):
    def run_script(self, refuse=(), without=''):
        stub = Path(tempfile.mkdtemp(prefix='quorvix-install-deps-'))
        self.addCleanup(shutil.rmtree, stub, True)
        (stub / 'bin').mkdir()
        for name, body in STUBS.items():
            path = stub / 'bin' / name
            path.write_text('#!/usr/bin/env bash\n' + body)
            path.chmod(0o755)
        (stub / 'etc' / 'sources.list.d').mkdir(parents=True)
        (stub / 'etc' / 'sources.list.d' / 'debian.sources').write_text(SOURCES)
        refused = ' '.join(package for group in refuse for package in group_packages(group))
        # No Wine 32-bit loader here, so no emulator is registered for it.
        env = dict(os.environ, PATH=f'{stub / "bin"}:{os.environ["PATH"]}', STUB=str(stub), REFUSE=refused,
                   QUORVIX_WITHOUT=without, QUORVIX_WINE32=str(stub / 'no-wine'))
        result = subprocess.run([ROOT / 'scripts' / 'install-deps.sh'], capture_output=True, text=True, env=env,
                                timeout=120)
        calls = (stub / 'calls').read_text().splitlines()
        tried = [group for group in ALL_GROUPS
                 if any(call.startswith('apt-get install') and set(group_packages(group)) <= set(call.split())
                        for call in calls)]
        return result, tried, stub

    def test_a_registry_that_answers_in_part_costs_only_the_groups_it_cannot_serve(self):
        # refused by the registry, left out by QUORVIX_WITHOUT, exit code
        cases = [
            ((), '', 0),
            (('wine32',), '', 0),
            (('wine32', 'server'), 'packaging', 0),
            (('build',), '', 1),
        ]
        for refuse, without, code in cases:
            with self.subTest(refuse=refuse, without=without):
                result, tried, stub = self.run_script(refuse, without)
                self.assertEqual(result.returncode, code, result.stdout + result.stderr)
                self.assertIn('warning: apt-get update: E: Failed to fetch', result.stdout)
                missing = set(refuse) | set(without.split())
                self.assertEqual(tried, [group for group in ALL_GROUPS if group not in without.split()])
                for group in ALL_GROUPS:
                    line = f'not installed: the {group} group'
                    if group in missing:
                        self.assertIn(line, result.stdout)
                        serves = subprocess.run([GROUPS, 'serves', group], capture_output=True, text=True).stdout
                        self.assertIn(f'skipped for lack of it: {serves.strip()}', result.stdout)
                    else:
                        self.assertNotIn(line, result.stdout)
                # What was installed is there; a second run installs nothing more.
                lacking = subprocess.run([GROUPS, 'missing'], capture_output=True, text=True,
                                         env=dict(os.environ, PATH=f'{stub / "bin"}:{os.environ["PATH"]}',
                                                  STUB=str(stub), QUORVIX_WITHOUT=without)).stdout
                self.assertEqual({line.split()[0] for line in lacking.splitlines()}, missing)

    def test_source_packages_come_from_the_machines_own_mirrors(self):
        _, _, stub = self.run_script()
        made = (stub / 'etc' / 'sources.list.d' / 'quorvix-source-packages.sources').read_text()
        self.assertEqual(made.strip(), SOURCES.replace('Types: deb', 'Types: deb-src').strip())


if __name__ == '__main__':
    unittest.main(verbosity=2)
