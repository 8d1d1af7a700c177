#!/usr/bin/env python3
"""Leases through a cut, on a throwaway PostgreSQL server. A line of four
stations goes on programming from its leases while the server is stopped
as in a crash, stops where each lease is used up, and once the server is
back every unit programmed is on it once, with no value in two files; the
values the stations give back go out again before any new one. A server
that swallows every packet costs a station its connection timeout once:
the next units come from the lease without trying the server, until the
lease is used up. A file programmed from the lease keeps its values when
assigned again, as on the server."""
import collections
import json
import os
import re
import sys
import threading
import time
import unittest
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'tools'))
sys.path.insert(0, str(Path(__file__).resolve().parent))
import test_ledger  # noqa: E402
from cutting_proxy import CuttingProxy  # noqa: E402
from make_sample_vendor import vendor_bytes  # noqa: E402
from postgres_server import Postgres  # noqa: E402
from test_ledger import SAMPLE, LedgerTest, fields  # noqa: E402

SENT = re.compile(r'(\d+) units programmed on this station while the ledger could not be reached')


def setUpModule():
    test_ledger.SERVER = Postgres()


def tearDownModule():
    test_ledger.SERVER.remove()


class Cut(LedgerTest):
    """The server's own stops and cuts."""

    def setUp(self):
        super().setUp()
        self.init()
        self.server = test_ledger.SERVER

    def station(self, name):
        """A station's own lease file, journal and state folder, as on its own machine."""
        folder = self.folder / name
        folder.mkdir(exist_ok=True)
        return {'lease_file': folder / 'lease.db',
                'env': {**os.environ, 'QUORVIX_JOURNAL': str(folder / 'journal.db'),
                        'XDG_STATE_HOME': str(folder / 'state')}}

    def assign(self, path, name, lease, ledger=None):
        station = self.station(name)
        return self.cli('assign', path, '--ledger', ledger or self.ledger, '--station', name, '--lease', lease,
                        '--lease-file', station['lease_file'], env=station['env'])

    def ledger_command(self, command, name):
        station = self.station(name)
        return self.cli('ledger', command, self.ledger, '--station', name, '--lease-file',
                        station['lease_file'], env=station['env'])

    def server_rows(self, query):
        return [row.split('|') for row in self.server.sql(query, self.ledger.rsplit('/', 1)[1]).splitlines()]

    def fresh(self, name, number):
        path = self.folder / name / f'unit{number:04}.bin'
        path.parent.mkdir(exist_ok=True)
        path.write_bytes(vendor_bytes())
        return path


class Line(Cut):
    """Four stations assigning in a loop while the server is stopped and started again."""

    STATIONS = 'ABCD'
    LEASE = 20
    BEFORE = AFTER = 3  # units a station programs from the server before the cut and after it

    def work(self, name, down, back, waiting):
        """One station's loop, as a line's script runs it: a fresh file after each exit 0; a file refused
        with the lease used up is untouched and tried again once the server is back, as is one whose run
        the cut caught half-way; exit 2 stops the station. Its runs: (path, exit code, stderr, the file
        untouched after it)."""
        runs, aside, after = [], [], 0
        path = None
        # A station that never settles stops, for the checks to tell why.
        while (after < self.AFTER or aside or path) and len(runs) < 4 * self.LEASE:
            if path is None:
                path = aside.pop() if back.is_set() and aside else self.fresh(name, len(runs))
            result = self.assign(path, name, self.LEASE)
            runs.append((path, result.returncode, result.stderr, fields(path) == SAMPLE))
            if result.returncode == 0:
                after += back.is_set()
                path = None
            elif result.returncode == 2:  # stop and look: the line stops the station
                waiting.set()
                break
            elif 'lease is used up' in result.stderr:
                waiting.set()
                back.wait()
            else:
                aside.append(path)
                path = None
                # Failing otherwise than on its lease, again and again: the lease does not serve it.
                if down.is_set() and len(aside) > 3:
                    waiting.set()
                    back.wait()
        return runs

    def line_through_a_cut(self):
        """The line's runs, by station, around a stop of the server as in a crash, once each station has
        programmed BEFORE units from it, and its start once each station waits for it."""
        down, back = threading.Event(), threading.Event()
        waiting = {name: threading.Event() for name in self.STATIONS}
        with ThreadPoolExecutor(len(self.STATIONS)) as pool:
            futures = {name: pool.submit(self.work, name, down, back, waiting[name]) for name in self.STATIONS}
            stopped = False
            try:
                deadline = time.monotonic() + 120
                while min(len([p for p in (self.folder / name).glob('unit*.bin') if fields(p) != SAMPLE])
                          for name in self.STATIONS) < self.BEFORE:
                    self.assertLess(time.monotonic(), deadline, 'the stations never programmed before the cut')
                    self.assertFalse(any(future.done() for future in futures.values()), 'a station gave up')
                    time.sleep(0.05)
                self.server.stop('immediate')
                stopped = True
                down.set()
                for name in self.STATIONS:
                    self.assertTrue(waiting[name].wait(120), f'station {name} never stopped for the server')
            finally:
                if stopped:
                    self.server.start()
                back.set()
            return {name: future.result() for name, future in futures.items()}

    def test_four_stations_ride_through_a_cut_and_the_server_has_every_unit_once(self):
        started = time.monotonic()
        runs = self.line_through_a_cut()
        programmed = {}  # path: station, for each file an assign wrote
        leased, sent, caught = collections.Counter(), 0, 0
        for name, station_runs in runs.items():
            for path, code, err, untouched in station_runs:
                with self.subTest(station=name, path=path.name, code=code):
                    self.assertIn(code, (0, 1, 3), err)
                    if code == 0:
                        programmed[path] = name
                        leased[name] += 'recorded on this station' in err
                    if 'lease is used up' in err:
                        self.assertEqual(code, 3, err)
                        self.assertTrue(untouched, err)
                    elif code:
                        caught += 1
                sent += sum(int(count) for count in SENT.findall(err))
            with self.subTest(station=name):
                used_up = [run for run in station_runs if 'lease is used up' in run[2]]
                self.assertEqual(len(used_up), 1, 'each station stops for the server once')
                self.assertEqual(leased[name], self.LEASE)
        # Each file an assign wrote, and no other, holds the values of a unit that names it.
        paths = sorted(path for name in self.STATIONS for path in (self.folder / name).glob('unit*.bin'))
        self.assertEqual([path for path in paths if fields(path) != SAMPLE], sorted(programmed))
        units = self.assert_no_value_twice(paths)
        self.assertEqual(sorted((unit['path'], unit['state'], unit['station']) for unit in units
                                if unit['state'] != 'failed'),
                         sorted((str(path), 'written', name) for path, name in programmed.items()))
        self.assertEqual(len({fields(path) for path in programmed}), len(programmed))
        self.assertEqual(self.server_rows('SELECT station, count(*) FROM units WHERE lease IS NOT NULL '
                                          'GROUP BY station ORDER BY station'),
                         [[name, str(self.LEASE)] for name in self.STATIONS])
        self.assertEqual(sent, self.LEASE * len(self.STATIONS))
        status = json.loads(self.cli('ledger', 'status', self.ledger, '--json').stdout)
        self.assertEqual((status['units']['written'], status['units']['reserved']), (len(programmed), 0))
        for name in self.STATIONS:
            again = self.ledger_command('sync', name)
            self.assertEqual((again.returncode, again.stdout), (0, '0 units sent\n'), again.stderr)
        twice = sum(len(values) - len(set(values)) for values in
                    ([unit['mac'] for unit in units], [unit['sn'] for unit in units],
                     [fields(path)[0] for path in programmed], [fields(path)[1] for path in programmed]))
        print(f'a line of {len(self.STATIONS)} stations through a cut: {sum(leased.values())} units programmed '
              f'while the server was down, {sent} units sent afterwards, {len(programmed)} units in all, '
              f'values twice: {twice}; {caught} runs caught by the stop and run again; '
              f'in {time.monotonic() - started:.1f} s', file=sys.stderr, flush=True)

    def leased_values(self):
        """The MACs and SNs of every lease the server granted."""
        macs, sns = set(), set()
        for mac_first, mac_last, prefix, width, sn_first, sn_last in self.server_rows(
                'SELECT mac_first, mac_last, sn_prefix, sn_width, sn_first, sn_last FROM leases'):
            macs |= {f'{mac:012X}' for mac in range(int(mac_first), int(mac_last) + 1)}
            sns |= {f'{prefix}{sn:0{width}}' for sn in range(int(sn_first), int(sn_last) + 1)}
        return macs, sns

    def test_values_given_back_after_a_cut_go_out_before_new_ones(self):
        runs = self.line_through_a_cut()
        # One unit more a station, from the lease it took with its first unit after the cut, waits to be sent
        # as the station gives the rest back.
        waiting = {name: self.fresh(name, 998) for name in self.STATIONS}
        self.server.stop('immediate')
        try:
            for name, path in waiting.items():
                result = self.assign(path, name, self.LEASE)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn('recorded on this station', result.stderr)
        finally:
            self.server.start()
        earlier = [*{path for station_runs in runs.values() for path, *_ in station_runs}, *waiting.values()]
        held = [fields(path) for path in earlier]
        leased_macs, leased_sns = self.leased_values()
        units = self.units()
        unused = (leased_macs - {unit['mac'] for unit in units} - {mac for mac, _ in held},
                  leased_sns - {unit['sn'] for unit in units} - {sn for _, sn in held})
        self.assertEqual([len(values) for values in unused], [(self.LEASE - 1) * len(self.STATIONS)] * 2)
        for name in self.STATIONS:
            released = self.ledger_command('release', name)
            self.assertEqual(released.returncode, 0, released.stderr)
        self.assertEqual(sorted((unit['path'], unit['state']) for unit in self.units()
                                if unit['path'] in map(str, waiting.values())),
                         sorted((str(path), 'written') for path in waiting.values()))
        # A station that gave its values back has none left to program from in the next cut.
        self.server.stop('immediate')
        try:
            for name in self.STATIONS:
                path = self.fresh(name, 999)
                refused = self.assign(path, name, self.LEASE)
                self.assertEqual(refused.returncode, 3, refused.stderr)
                self.assertEqual(fields(path), SAMPLE)
        finally:
            self.server.start()
        # A station without a lease: every value given back goes out again, then the next new one.
        count = len(unused[0]) + 1
        again = [self.fresh('E', number) for number in range(count)]
        for path in again:
            result = self.cli('assign', path, '--ledger', self.ledger, '--station', 'E', env=self.station('E')['env'])
            self.assertEqual(result.returncode, 0, result.stderr)
        handed = [fields(path) for path in again]
        self.assertEqual({mac for mac, _ in handed[:-1]}, unused[0])
        self.assertEqual({sn for _, sn in handed[:-1]}, unused[1])
        self.assertNotIn(handed[-1][0], leased_macs | {unit['mac'] for unit in units})
        self.assertNotIn(handed[-1][1], leased_sns | {unit['sn'] for unit in units})
        self.assert_no_value_twice([*earlier, *again])



class Again(Cut):
    """A file programmed from the lease, assigned again."""

    def test_a_file_programmed_from_the_lease_gets_no_second_value(self):
        first, again, other = (self.fresh('A', number) for number in range(3))
        self.assertEqual(self.assign(first, 'A', 5).returncode, 0)
        self.server.stop('immediate')
        try:
            programmed = self.assign(again, 'A', 5)
            self.assertEqual(programmed.returncode, 0, programmed.stderr)
            held = fields(again)
            # As the server refuses a file whose values a unit has: only --reassign gives it new ones.
            repeated = self.assign(again, 'A', 5)
            self.assertIn(repeated.returncode, (0, 2), repeated.stderr)
            self.assertEqual(fields(again), held, repeated.stderr)
            self.assertEqual(self.assign(other, 'A', 5).returncode, 0)
        finally:
            self.server.start()
        synced = self.ledger_command('sync', 'A')
        self.assertEqual(synced.returncode, 0, synced.stderr)
        units = self.assert_no_value_twice([first, again, other])
        self.assertEqual(sorted((unit['path'], unit['state']) for unit in units),
                         sorted((str(path), 'written') for path in (first, again, other)))

class Silent(Cut):
    """The server behind a proxy that goes silent: it takes each connection and never answers."""

    LEASE = 4
    TIMEOUT = 2

    def test_a_silent_server_costs_one_timeout_then_the_lease_serves_without_trying_it(self):
        proxy = CuttingProxy(self.server.port)
        self.addCleanup(proxy.close)
        proxy.armed = False
        through = self.ledger.replace(f':{self.server.port}/', f':{proxy.port}/') + f'?connect_timeout={self.TIMEOUT}'
        first, *down = (self.fresh('A', number) for number in range(self.LEASE + 2))
        taken = self.assign(first, 'A', self.LEASE, ledger=through)
        self.assertEqual(taken.returncode, 0, taken.stderr)
        self.assertEqual(self.server_rows('SELECT count(*) FROM leases'), [['1']])
        proxy.silent = True
        # (connections the silent server took so far, exit code) after each assign: the first waits its
        # timeout, the rest of the lease goes without trying the server, and the assign that finds it used
        # up tries the server once more.
        expected = [(1, 0)] * self.LEASE + [(2, 3)]
        got = []
        for path in down:
            result = self.assign(path, 'A', self.LEASE, ledger=through)
            got.append((len(proxy.held), result.returncode))
            with self.subTest(path=path.name):
                if result.returncode == 0:
                    self.assertIn('recorded on this station', result.stderr)
                else:
                    self.assertIn('lease is used up', result.stderr)
                    self.assertEqual(fields(path), SAMPLE)
        self.assertEqual(got, expected)
        proxy.silent = False
        back = self.assign(down[-1], 'A', self.LEASE, ledger=through)
        self.assertEqual(back.returncode, 0, back.stderr)
        self.assertEqual([int(count) for count in SENT.findall(back.stderr)], [self.LEASE])
        paths = [first, *down]
        units = self.assert_no_value_twice(paths)
        self.assertEqual(sorted((unit['path'], unit['state']) for unit in units),
                         sorted((str(path), 'written') for path in paths))
        self.assertEqual(self.server_rows('SELECT count(*) FROM units WHERE lease IS NOT NULL'), [[str(self.LEASE)]])


if __name__ == '__main__':
    unittest.main(verbosity=2)
