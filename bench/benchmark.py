#!/usr/bin/env python3
"""Measures Quorvix.exe and quorvix-cli against yardsticks that do the same
visible work and nothing more, and prints the figures beside their budgets:

1. window start-up, under Wine on a virtual display: from process start
   until the MAC line shows the loaded file and the program is idle, against
   bench/floor.cpp (the same window, read from the same 56 bytes); launches
   alternate, in blocks, until the blocks' ratios agree within 0.05;
2. "quorvix-cli check" over 10,000 files in one call, against a C loop that
   opens, reads 56 bytes and closes each file (bench/check_floor.c);
3. one "quorvix-cli set" process per file over 200 files, as a script calls
   it, against a C program per file that opens, writes 23 bytes, flushes with
   fsync and closes (bench/set_floor.c); and one "quorvix-cli assign" per
   file from an SQLite ledger against that set;
4. on a throwaway PostgreSQL server over TCP with SCRAM passwords, one
   "quorvix-cli assign" per file against that set's floor plus the least C
   program that does the ledger's part of an assign with libpq
   (bench/assign_floor.c: connect, reserve in one transaction sent at once,
   record); and 200 assigns by 8 processes at once against 200 by one at a
   time, with how long each reservation held the ledger's lock, from the
   server's own log, and so how many reservations a second one server gives
   a line;
5. the sizes of the programs as shipped.

Exits 1 when a budget is missed. Figures under Wine are relative; absolute
times hold only on Windows.

    benchmark.py BUILD_ROOT FLOOR_BIN_DIR [LAUNCHES_PER_BLOCK]
"""
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from datetime import date, datetime
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / 'tools' / 'wine'))
sys.path.insert(0, str(ROOT / 'tools'))
sys.path.insert(0, str(ROOT / 'tests' / 'cli'))
import session  # noqa: E402
from postgres_server import PASSWORD, Postgres  # noqa: E402
from make_sample_vendor import vendor_bytes  # noqa: E402
from probe_client import WINE, Probe, escape  # noqa: E402

LOADED_MAC = 'MAC:001132ABCDEF  效验:AA'
BUDGETS = {'start-up': 1.10, 'check': 1.5, 'set': 1.3, 'assign on SQLite': 3.0, 'assign on PostgreSQL': 1.2,
           'Quorvix.exe KiB': 300,
           'quorvix-cli.exe KiB': 3072}
# The budgets missed by design, and where the README shows the profile that says so.
KNOWN_MISSES = {'set': "a dynamically linked, position-independent C++ program's start: README, Where set's time goes",
                'check': 'one lseek per file to know a vendor file by its length: README, Benchmark, check'}
SPREAD = 0.05


def startup_seconds(env, probe, exe, folder, window_class):
    start = time.perf_counter()
    process = subprocess.Popen([WINE, str(exe)], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    probe.ok(f'wait-shown {window_class} 101 {escape(LOADED_MAC)} 30000')
    elapsed = time.perf_counter() - start
    process.kill()
    process.wait()
    time.sleep(0.2)  # let the window go before the next start
    return elapsed


def startup_ratio(build, per_block):
    """Blocks of alternating launches until three blocks in a row agree."""
    state = build / 'bench'
    session.start(state)
    env = session.wine_env(state, (state / 'display').read_text())
    folder = Path(tempfile.mkdtemp(prefix='quorvix-bench-'))
    try:
        shutil.copy(build / 'mingw-x86_64' / 'app' / 'Quorvix.exe', folder)
        shutil.copy(build / 'mingw-x86_64' / 'bench' / 'floor.exe', folder)
        (folder / 'vendor.bin').write_bytes(vendor_bytes())
        probe = Probe(env, build / 'mingw-x86_64' / 'tools' / 'wine' / 'probe' / 'probe.exe')
        programs = (('Quorvix.exe', 'QuorvixMain'), ('floor.exe', 'QuorvixFloor'))
        for exe, window_class in programs:  # one start of each first, so neither pays for a cold cache
            startup_seconds(env, probe, folder / exe, folder, window_class)
        times = {exe: [] for exe, _ in programs}
        ratios = []
        while len(ratios) < 3 or max(ratios[-3:]) - min(ratios[-3:]) >= SPREAD:
            block = {exe: [] for exe, _ in programs}
            for _ in range(per_block):
                for exe, window_class in programs:
                    block[exe].append(startup_seconds(env, probe, folder / exe, folder, window_class))
            ratios.append(statistics.median(block['Quorvix.exe']) / statistics.median(block['floor.exe']))
            for exe in times:
                times[exe] += block[exe]
            if len(ratios) >= 12:
                break
        probe.close()
    finally:
        session.stop(state)
        shutil.rmtree(folder, ignore_errors=True)
    return times, ratios


def timed(command, **kwargs):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, **kwargs)
    return time.perf_counter() - start


def cli_ratios(cli, floors):
    folder = Path(tempfile.mkdtemp(prefix='quorvix-bench-cli-'))
    try:
        data = bytes(vendor_bytes())
        files = [str(folder / f'vendor-{i:05}.bin') for i in range(10000)]
        for path in files:
            Path(path).write_bytes(data)
        check = {'cli': [], 'floor': []}
        for _ in range(11):
            check['cli'].append(timed([cli, 'check', *files]))
            check['floor'].append(timed([floors / 'check_floor', *files]))
        set_times = {'cli': [], 'floor': [], 'assign': []}
        for round_ in range(5):
            mac = f'0011320000{round_:02X}'
            set_times['cli'].append(sum(timed([cli, 'set', path, '--mac', mac]) for path in files[:200]))
            set_times['floor'].append(sum(timed([floors / 'set_floor', path]) for path in files[:200]))
            # The same files again, each its next values from a ledger: the
            # ledger's two commits on top of the file's flush.
            ledger = folder / f'line-{round_}.db'
            subprocess.run([cli, 'ledger', 'init', ledger, '--mac-range', '001132000000-0011320003FF',
                            '--sn-range', 'QVX2612000001-QVX2612009999'], check=True)
            set_times['assign'].append(sum(timed([cli, 'assign', path, '--ledger', ledger, '--reassign'])
                                           for path in files[:200]))
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return check, set_times


def lock_holds(log: Path, start: int, end: int):
    """Seconds each reservation held the ledger's lock, as the server logged
    its statements between two offsets of its log: from the end of the LOCK
    to the end of its COMMIT."""
    locked, holds = {}, []
    with open(log, 'rb') as whole:
        whole.seek(start)
        text = whole.read(end - start).decode(errors='replace')
    for line in text.splitlines():
        match = re.match(r'(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) \w+ \[(\d+)\] .*duration: [\d.]+ ms +'
                         r'(?:statement|execute [^:]*): (.*)', line)
        if not match:
            continue
        when = datetime.strptime(match[1], '%Y-%m-%d %H:%M:%S.%f').timestamp()
        pid, statement = match[2], match[3]
        if 'FROM mac_ranges ORDER BY id FOR UPDATE' in statement:  # the lock, after the driver's BEGIN
            locked[pid] = when
        elif statement.strip().upper() == 'COMMIT' and pid in locked:
            holds.append(when - locked.pop(pid))
    return holds


def server_figures(cli, floors, set_floor_seconds):
    """assign on a PostgreSQL ledger: seconds per process against set's floor
    plus the libpq floor, and 8 processes at once against one, with the
    lock's hold times from the server's view."""
    server = Postgres(settings=['log_min_duration_statement=0', "log_line_prefix='%m [%p] '"])
    folder = Path(tempfile.mkdtemp(prefix='quorvix-bench-pg-'))
    # The password as a station keeps it: out of the URL, here in the environment.
    os.environ['PGPASSWORD'] = PASSWORD
    try:
        url = server.database('bench').replace(f':{PASSWORD}@', '@')
        subprocess.run([cli, 'ledger', 'init', url, '--mac-range', '001132000000-00113200FFFF',
                        '--sn-range', 'QVX2612000001-QVX2612099999'], check=True)
        files = [folder / f'vendor-{i:03}.bin' for i in range(200)]
        for path in files:
            path.write_bytes(vendor_bytes())
        rounds, floor_rounds = [], []
        one_at_a_time = server.log.stat().st_size
        for _ in range(5):
            rounds.append(sum(timed([cli, 'assign', path, '--ledger', url, '--reassign']) for path in files))
            floor_rounds.append(sum(timed([floors / 'assign_floor', url, str(path)]) for path in files))
        at_once = server.log.stat().st_size

        def share(part):
            for path in files[part::8]:
                subprocess.run([cli, 'assign', path, '--ledger', url, '--reassign'], check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        start = time.perf_counter()
        with ThreadPoolExecutor(8) as pool:
            list(pool.map(share, range(8)))
        eight = time.perf_counter() - start
        holds = {'one': lock_holds(server.log, one_at_a_time, at_once),
                 'eight': lock_holds(server.log, at_once, server.log.stat().st_size)}
    finally:
        server.remove()
        shutil.rmtree(folder, ignore_errors=True)
    one = statistics.median(rounds)
    libpq = statistics.median(floor_rounds) / 200
    return {'assign': rounds, 'libpq': libpq, 'floor': set_floor_seconds / 200 + libpq, 'eight': eight,
            'speedup': one / eight, 'holds': holds}


def describe(times, unit=1000, name='ms'):
    return (f'median {statistics.median(times) * unit:8.1f} {name}  (min {min(times) * unit:.1f}, '
            f'max {max(times) * unit:.1f}, {len(times)} runs)')


def main():
    build, floors = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    per_block = int(sys.argv[3]) if len(sys.argv) > 3 else 25
    cli = build / 'linux-release' / 'cli' / 'quorvix-cli'

    startup, ratios = startup_ratio(build, per_block)
    check, set_times = cli_ratios(cli, floors)
    server = server_figures(cli, floors, statistics.median(set_times['floor']))
    ratio = statistics.median(startup['Quorvix.exe']) / statistics.median(startup['floor.exe'])
    figures = {
        'start-up': ratio,
        'check': statistics.median(check['cli']) / statistics.median(check['floor']),
        'set': statistics.median(set_times['cli']) / statistics.median(set_times['floor']),
        'assign on SQLite': statistics.median(set_times['assign']) / statistics.median(set_times['cli']),
        'assign on PostgreSQL': statistics.median(server['assign']) / 200 / server['floor'],
        'Quorvix.exe KiB': max((build / f'mingw-{arch}' / 'app' / 'Quorvix.exe').stat().st_size / 1024
                               for arch in ('x86_64', 'i686')),
        'quorvix-cli.exe KiB': max((build / f'mingw-{arch}' / 'cli' / 'quorvix-cli.exe').stat().st_size / 1024
                                   for arch in ('x86_64', 'i686')),
    }
    print(f'Quorvix benchmark, {date.today()}, {platform.node()} ({platform.machine()}, {os.cpu_count()} cores)')
    print(f'start-up  Quorvix.exe        {describe(startup["Quorvix.exe"])}')
    print(f'start-up  floor.exe          {describe(startup["floor.exe"])}')
    print(f'start-up  ratio per block    {" ".join(f"{r:.3f}" for r in ratios)}  '
          f'(spread of the last three {max(ratios[-3:]) - min(ratios[-3:]):.3f})')
    print(f'check     quorvix-cli        {describe(check["cli"])} for 10,000 files')
    print(f'check     check_floor        {describe(check["floor"])}')
    print(f'set       quorvix-cli        {describe(set_times["cli"])} for 200 processes')
    print(f'set       set_floor          {describe(set_times["floor"])}')
    print(f'assign    quorvix-cli        {describe(set_times["assign"])} for 200 processes, SQLite ledger')
    print(f'assign    quorvix-cli        {describe(server["assign"])} for 200 processes, PostgreSQL ledger')
    print(f'assign    floor per process  {server["floor"] * 1000:8.1f} ms: set_floor and assign_floor '
          f'({server["libpq"] * 1000:.1f} ms: libpq, TCP, SCRAM, one reservation, one record)')
    print(f'assign    8 processes at once {server["eight"] * 1000:7.1f} ms for 200: '
          f'{server["speedup"]:.2f}x the throughput of one at a time')
    for name, holds in (('one at a time', server['holds']['one']), ('8 at once', server['holds']['eight'])):
        holds = sorted(holds)
        if holds:
            mean = statistics.mean(holds)
            print(f'assign    lock held, {name:13} {mean * 1000:.2f} ms a reservation (mean of {len(holds)}, 95th '
                  f'percentile {holds[int(len(holds) * 0.95) - 1] * 1000:.1f} ms, the server\'s log): at most '
                  f'{1 / mean:.0f} reservations a second')
    for arch in ('x86_64', 'i686'):
        sizes = [(build / f'mingw-{arch}' / part).stat().st_size / 1024 for part in ('app/Quorvix.exe',
                                                                                    'cli/quorvix-cli.exe')]
        print(f'size      {arch:6}  Quorvix.exe {sizes[0]:.1f} KiB, quorvix-cli.exe {sizes[1]:.1f} KiB')
    print(f'size      Linux   quorvix-cli {cli.stat().st_size / 1024:.1f} KiB')
    missed = 0
    for name, value in figures.items():
        verdict = 'ok'
        if value > BUDGETS[name]:
            verdict = f'MISSED ({KNOWN_MISSES[name]})' if name in KNOWN_MISSES else 'MISSED'
        missed += value > BUDGETS[name]
        print(f'budget    {name:20} {value:8.2f}  (at most {BUDGETS[name]})  {verdict}')
    return 1 if missed else 0


if __name__ == '__main__':
    sys.exit(main())
