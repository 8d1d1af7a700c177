"""Whether a suite for the exes of one architecture runs on this machine, and
how patient its waits must be.

The i686 exes need a kernel that runs 32-bit programs. Where it does, every
suite runs. Where qemu-i386 runs them emulated (each start takes about 40 s
instead of 0.2 s), only the smoke suites run, with waits to match. Where they
cannot run at all, none does. A suite that does not run says why and exits
with SKIP, which CTest reports as skipped.

CTest says which architecture a suite is for (QUORVIX_ARCH) and whether it is
a smoke suite (QUORVIX_SMOKE=1); tools/ia32_mode.sh says how 32-bit programs
run here.
"""
import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'tools' / 'wine'))
from session import ia32_mode  # noqa: E402

SKIP = 77
EMULATED_PACE = 10  # how many times longer a wait may take under emulation


def pace() -> int:
    """The factor for this suite's waits; exits with SKIP when it does not run here."""
    if os.environ.get('QUORVIX_ARCH') != 'i686':
        return 1
    mode, why = ia32_mode()
    if mode == 'native':
        return 1
    if mode == 'emulated' and os.environ.get('QUORVIX_SMOKE') == '1':
        print(f'i686 emulated: {why}; the smoke cases run, with waits {EMULATED_PACE} times as long', flush=True)
        return EMULATED_PACE
    reason = f'{why}; only the smoke suites run' if mode == 'emulated' else why
    print(f'skipped: {reason}', flush=True)
    sys.exit(SKIP)


PACE = pace()
EMULATED = PACE > 1
