#!/usr/bin/env bash
# The Debian packages the build and the tests need, in groups by what they
# serve. scripts/install-deps.sh installs each group on its own, so a group
# that cannot be installed (a mirror in the middle of a sync, say) leaves the
# others installed; the tests that need a missing group are reported skipped,
# with the reason, and every other test runs. Only the build group is needed
# by everything.
#
#     package_groups.sh groups             the groups, in the order installed
#     package_groups.sh packages GROUP     its packages
#     package_groups.sh uninstalled GROUP  those of them not installed
#     package_groups.sh serves GROUP       what it serves: what is skipped without it
#     package_groups.sh has GROUP          exit 0 when it is installed
#     package_groups.sh missing            one line per missing group: GROUP REASON
#
# QUORVIX_WITHOUT="wine32 server" makes install-deps.sh and the tests act as
# if those groups could not be installed, to try that path on a healthy machine.
set -euo pipefail

groups=(build fuzz windows wine64 wine32 server packaging browser label printing)
declare -A packages=(
  [build]="cmake make g++ libgtest-dev python3 clang-format libcli11-dev nlohmann-json3-dev unixodbc-dev dpkg-dev tcl strace"
  [fuzz]="clang libclang-rt-14-dev"
  [windows]="g++-mingw-w64-x86-64 g++-mingw-w64-i686"
  [wine64]="wine64 xvfb imagemagick fonts-wine fonts-wqy-microhei libx11-dev"
  [wine32]="wine32:i386"
  [server]="postgresql odbc-postgresql openssl libpq-dev faketime"
  [packaging]="help2man lintian man-db zsh fish"
  [browser]="chromium"
  [label]="zbar-tools dmtx-utils"
  [printing]="cups cups-daemon cups-client libcups2 ghostscript"
)
declare -A serves=(
  [build]="the build, the unit tests and the Linux tool's tests: nothing runs without it"
  [fuzz]="the entry fuzzer (fuzz_entry_*)"
  [windows]="the Windows exes and their tests (exe_*, cli_exe_*, e2e_*, cli_wine_*, release_reproducible)"
  [wine64]="running the Windows exes under Wine on a virtual display (e2e_*, cli_wine_*)"
  [wine32]="running the i686 exes (e2e_i686_*, cli_wine_i686)"
  [server]="the ledger on a PostgreSQL server (cli_ledger_postgresql, cli_ledger_rules_postgresql, cli_ledger_failover, cli_lease_kill, cli_lease_cut, cli_wine_x86_64_server; the benchmark)"
  [packaging]="the Debian package and the zsh and fish completions (release_reproducible, cli_completions_zsh, cli_completions_fish)"
  [browser]="the ledger's report, SVG labels and SVG label templates opened in a real browser (cli_report, cli_label_browser, cli_label_template)"
  [label]="labels read back by real barcode readers (cli_label, cli_label_browser, cli_label_template, cli_wine_x86_64_printing)"
  [printing]="labels printed through a CUPS server the test starts, its socket backend and libcups (cli_label_print, cli_wine_x86_64_printing)"
)

known() { [ -n "${packages[$1]+set}" ] || { echo "no such package group: $1" >&2; exit 2; }; }

# Every package installed, by name and by name:architecture, read once.
installed=" $(dpkg-query -W -f='${db:Status-Status} ${Package} ${Package}:${Architecture}\n' 2>/dev/null |
  sed -n 's/^installed //p' | tr '\n' ' ') "

# The group's packages that are not installed.
uninstalled() {
  local package missing=()
  for package in ${packages[$1]}; do
    [[ $installed == *" $package "* ]] || missing+=("$package")
  done
  echo "${missing[*]}"
}

# Why the group is missing; nothing when it is installed.
lacking() {
  case " ${QUORVIX_WITHOUT:-} " in
    *" $1 "*) echo "QUORVIX_WITHOUT names it"; return ;;
  esac
  local missing
  missing=$(uninstalled "$1")
  [ -z "$missing" ] || echo "not installed: $missing"
}

case ${1:-} in
  groups) echo "${groups[*]}" ;;
  packages) known "$2"; echo "${packages[$2]}" ;;
  serves) known "$2"; echo "${serves[$2]}" ;;
  uninstalled) known "$2"; uninstalled "$2" ;;
  has) known "$2"; [ -z "$(lacking "$2")" ] ;;
  missing)
    for group in "${groups[@]}"; do
      why=$(lacking "$group")
      [ -z "$why" ] || echo "$group $why"
    done
    ;;
  *) sed -n '9,15s/^#     //p' "$0" >&2; exit 2 ;;
esac
