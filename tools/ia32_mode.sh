#!/usr/bin/env bash
# Says how this machine runs 32-bit x86 programs, such as Wine's 32-bit loader
# and so every i686 Windows program, as one word and a reason:
#
#     native    the kernel runs them itself
#     emulated  qemu-i386, registered with binfmt_misc, runs them (slowly)
#     none      they cannot run here
#
# Either needs Wine's 32-bit loader (the wine32 package group): without it,
# or with QUORVIX_WITHOUT naming wine32, they cannot run here. QUORVIX_IA32=
# refused makes the check act as on a kernel that refuses them (a
# registration of qemu-i386 still counts); QUORVIX_IA32=none as on a machine
# where they cannot run at all. Both exist to try those paths on a machine
# that runs 32-bit programs natively.
set -u
loader=${QUORVIX_WINE32:-/usr/lib/wine/wine}

if [ "${QUORVIX_IA32:-}" = none ]; then
  echo "none QUORVIX_IA32=none says 32-bit programs cannot run here"
  exit 0
fi
# Nothing here runs but Wine's 32-bit loader: without it, an emulator does not count.
case " ${QUORVIX_WITHOUT:-} " in
  *" wine32 "*) echo "none QUORVIX_WITHOUT=wine32: Wine's 32-bit loader is taken as not installed"; exit 0 ;;
esac
if [ ! -x "$loader" ]; then
  echo "none Wine's 32-bit loader $loader is not installed"
  exit 0
fi
# A registered emulator takes a 32-bit program before the kernel's own loader does.
for entry in /proc/sys/fs/binfmt_misc/*; do
  [ -f "$entry" ] || continue
  if grep -qx enabled "$entry" && grep -q '^interpreter .*qemu-i386' "$entry"; then
    echo "emulated qemu-i386 is registered with binfmt_misc ($(basename "$entry")): 32-bit programs run emulated"
    exit 0
  fi
done
if [ "${QUORVIX_IA32:-}" = refused ]; then
  echo "none QUORVIX_IA32=refused: taken as a kernel that refuses 32-bit programs"
elif why=$("$loader" --version 2>&1 >/dev/null); then
  echo "native the kernel runs 32-bit programs"
else
  echo "none the kernel refuses 32-bit programs: $loader: ${why##*"$loader": }"
fi
