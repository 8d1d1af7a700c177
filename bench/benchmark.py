#!/usr/bin/env python3
"""Measures what a user feels, under Wine on a virtual display, in one run:

1. start-up: from process start until the MAC line shows the loaded file,
   Quorvix.exe against the floor (a minimal Win32 window), alternating;
2. Update: from the click on Yes until the success box shows, against a bare
   open-write-flush-close of 23 bytes on the same file system;
3. the size of both exes as shipped (stripped).

Prints the figures beside the budgets and exits 1 when a budget is missed.
Figures under Wine are relative; absolute times hold only on Windows.

    benchmark.py BUILD_ROOT [RUNS]
"""
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from datetime import date
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / 'tests' / 'e2e'))
sys.path.insert(0, str(ROOT / 'tools'))
import session  # noqa: E402
from make_sample_vendor import vendor_bytes  # noqa: E402
from probe_client import WINE, Probe, escape, wine_path  # noqa: E402

LOADED_MAC = 'MAC:001132ABCDEF  效验:AA'
BUDGET_STARTUP_RATIO = 1.2
BUDGET_EXE_KIB = 300
BUDGET_UPDATE_RATIO = 2.0


def startup_seconds(env, probe, exe, folder, window_class):
    start = time.perf_counter()
    process = subprocess.Popen([WINE, str(exe)], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    probe.ok(f'wait-shown {window_class} 101 {escape(LOADED_MAC)} 30000')
    elapsed = time.perf_counter() - start
    process.kill()
    process.wait()
    time.sleep(0.3)  # let the window go before the next start
    return elapsed


def update_seconds(env, probe, exe, folder, runs):
    process = subprocess.Popen([WINE, str(exe)], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        probe.ok('wait-main 30000')
        probe.ok(f'wait-shown QuorvixMain 101 {escape(LOADED_MAC)} 30000')
        times = []
        for run in range(runs):
            probe.ok('click 101')
            probe.ok('dialog 10000')
            probe.ok(f'type {run:012X}')
            probe.ok('press 1')
            probe.ok('click 103')
            probe.ok('dialog 10000')
            times.append(int(probe.ok('press-timed 6')) / 1e6)
            probe.ok('press 1')
        return times
    finally:
        process.kill()
        process.wait()


def describe(times):
    return (f'median {statistics.median(times) * 1000:7.1f} ms   min {min(times) * 1000:7.1f}   '
            f'max {max(times) * 1000:7.1f}')


def main():
    build = Path(sys.argv[1]).resolve()
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    exe = build / 'mingw-x86_64' / 'app' / 'Quorvix.exe'
    exe32 = build / 'mingw-i686' / 'app' / 'Quorvix.exe'
    floor = build / 'mingw-x86_64' / 'bench' / 'floor.exe'
    probe_exe = build / 'mingw-x86_64' / 'tests' / 'e2e' / 'probe' / 'probe.exe'
    state = build / 'bench'
    session.start(state)
    env = session.wine_env(state, (state / 'display').read_text())
    folder = Path(tempfile.mkdtemp(prefix='quorvix-bench-'))
    try:
        shutil.copy(exe, folder / 'Quorvix.exe')
        shutil.copy(floor, folder / 'floor.exe')
        (folder / 'vendor.bin').write_bytes(vendor_bytes())
        probe = Probe(env, probe_exe)
        # One start of each first, so neither pays for a cold cache.
        startup_seconds(env, probe, folder / 'Quorvix.exe', folder, 'QuorvixMain')
        startup_seconds(env, probe, folder / 'floor.exe', folder, 'QuorvixFloor')
        quorvix, floor_times = [], []
        for _ in range(runs):
            quorvix.append(startup_seconds(env, probe, folder / 'Quorvix.exe', folder, 'QuorvixMain'))
            floor_times.append(startup_seconds(env, probe, folder / 'floor.exe', folder, 'QuorvixFloor'))
        updates = update_seconds(env, probe, folder / 'Quorvix.exe', folder, runs)
        bare = [int(probe.ok('bare-write ' + escape(scratch_file(folder / 'scratch.bin')))) / 1e6
                for _ in range(runs)]
        probe.close()
    finally:
        session.stop(state)
        shutil.rmtree(folder, ignore_errors=True)

    startup_ratio = statistics.median(quorvix) / statistics.median(floor_times)
    update_ratio = statistics.median(updates) / statistics.median(bare)
    size64, size32 = exe.stat().st_size / 1024, exe32.stat().st_size / 1024
    checks = [
        ('start-up ratio', startup_ratio, BUDGET_STARTUP_RATIO),
        ('x86_64 exe KiB', size64, BUDGET_EXE_KIB),
        ('Update ratio', update_ratio, BUDGET_UPDATE_RATIO),
    ]
    print(f'Quorvix benchmark, {date.today()}, {platform.node()} ({platform.machine()}, {os.cpu_count()} cores), '
          f'Wine on Xvfb, {runs} runs each')
    print(f'start-up  Quorvix.exe  {describe(quorvix)}')
    print(f'start-up  floor.exe    {describe(floor_times)}')
    print(f'Update    Quorvix.exe  {describe(updates)}')
    print(f'bare write of 23 bytes {describe(bare)}')
    print(f'size      x86_64 {size64:.1f} KiB, i686 {size32:.1f} KiB')
    missed = 0
    for name, value, budget in checks:
        verdict = 'ok' if value <= budget else 'MISSED'
        missed += value > budget
        print(f'budget    {name:16} {value:8.2f}  (at most {budget})  {verdict}')
    return 1 if missed else 0


def scratch_file(path):
    """A scratch file of the vendor size for the bare write."""
    path.write_bytes(bytes(65536))
    return wine_path(path)


if __name__ == '__main__':
    sys.exit(main())
