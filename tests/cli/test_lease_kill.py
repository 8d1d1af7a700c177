#!/usr/bin/env python3
"""quorvix-cli assign from a station's lease while the server is down,
killed at each system call it makes on the lease file (and the journal
beside it), the vendor file and their folders, with strace's fault
injection: no value is ever in two units or two files, no unit whose file
carries its values is lost, the same assign again finishes the run (where
its write began and the file shows nothing of it, with another value: the
first may be on a device that left, and stays reserved for reconcile), and
ledger sync gives the server each unit once. And a lease whose grant's
commit loses its answer: its values go to one unit each or to none."""
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import unittest
from contextlib import closing
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import test_ledger  # noqa: E402
from test_ledger import CLI, STRACE, LedgerTest, fields, fields_in  # noqa: E402
from make_sample_vendor import vendor_bytes  # noqa: E402
from traced_calls import calls_on  # noqa: E402

ORIGINAL = vendor_bytes()


def setUpModule():
    from postgres_server import Postgres
    test_ledger.SERVER = Postgres()


def tearDownModule():
    test_ledger.SERVER.remove()


def server():
    return test_ledger.SERVER


class StationLease(LedgerTest):
    LEASE = 400  # more than the calls killed at, so the lease never runs out

    def setUp(self):
        super().setUp()
        self.init()
        self.station = self.folder / 'station'
        self.lease_file = self.station / 'lease.db'

    def assign_args(self, path, ledger=None):
        return ['assign', str(path), '--ledger', ledger or self.ledger, '--station', 'A', '--lease',
                str(self.LEASE), '--lease-file', str(self.lease_file)]

    def lease_rows(self, query, folder=None):
        """The rows of query on the lease file, or on a copy of it (with its journal) in folder: reading a
        copy leaves the station's own files as the run left them."""
        lease = self.lease_file
        if folder:
            shutil.rmtree(folder, True)
            shutil.copytree(self.station, folder)
            lease = folder / self.lease_file.name
        with closing(sqlite3.connect(lease)) as connection:
            return connection.execute(query).fetchall()

    def lease_units(self, folder=None):
        return self.lease_rows('SELECT mac, sn, path, state FROM units ORDER BY rowid', folder)


class KilledFromTheLease(StationLease):
    def setUp(self):
        super().setUp()
        self.trace = self.folder.parent / (self.folder.name + '.trace')
        self.addCleanup(self.trace.unlink, True)

    def station_files(self):
        return {path.name: path.read_bytes() for path in self.station.iterdir()}

    def put_back(self, kept):
        for path in self.station.iterdir():
            path.unlink()
        for name, data in kept.items():
            (self.station / name).write_bytes(data)

    def traced(self, path):
        """The calls a whole run makes on the files, as (name, N): the run's N-th call of that name; and the
        file it writes. The station's files are put back as they were."""
        # The server last tried just now: the traced run and the killed one
        # both go to the lease at once, however long the test has run.
        with closing(sqlite3.connect(self.lease_file)) as lease, lease:
            lease.execute("UPDATE unreached SET tried = strftime('%Y-%m-%dT%H:%M:%SZ', 'now')")
        kept = self.station_files()
        run = subprocess.run([STRACE, '-f', '-qq', '-y', '-s', '256', '-o', str(self.trace), CLI,
                              *self.assign_args(path)],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        calls = calls_on(self.trace, self.folder)
        written = path.read_bytes()
        self.put_back(kept)
        path.write_bytes(ORIGINAL)
        return calls, written

    def test_killed_at_every_call_the_same_assign_finishes_and_sync_sends_each_unit_once(self):
        first, = self.files(1, 'up')
        taken = self.cli(*self.assign_args(first))
        self.assertEqual(taken.returncode, 0, taken.stderr)
        scratch = self.folder.parent / (self.folder.name + '.copy')
        self.addCleanup(shutil.rmtree, scratch, True)
        server().stop('immediate')
        done, left_reserved, whole = [], [], []
        try:
            # Each run the N-th call on the files, N from the first on; traced
            # again each time, as every unit the lease file holds adds a few.
            number = 0
            while True:
                path = self.folder / f'killed{number:04}.bin'
                path.write_bytes(ORIGINAL)
                calls, written = self.traced(path)
                if number >= len(calls):
                    path.unlink()
                    break
                name, nth = calls[number]
                before = self.lease_units()
                with self.subTest(call=f'{name} #{nth}', number=number):
                    run = subprocess.run([STRACE, '-f', '-qq', '-o', os.devnull, '-e', f'trace={name}', '-e',
                                          f'inject={name}:signal=KILL:when={nth}', CLI, *self.assign_args(path)],
                                         capture_output=True, timeout=60)
                    # On a loaded machine a run now and then makes a call fewer than its trace showed
                    # and ends whole before the last few: it is checked as a run that finished.
                    self.assertIn(run.returncode, (-9, 0), run.stderr)
                    if run.returncode == 0:
                        whole.append(number)
                    killed = self.lease_units(scratch)
                    self.check_killed(path, written, before, killed)
                    began = [writing for writing, in self.lease_rows('SELECT writing FROM units ORDER BY rowid',
                                                                       scratch)][len(before):]
                    # Its write begun and the file showing nothing of it, the unit's values may be on a
                    # device that has left: they go to no other, and the unit stays reserved for reconcile.
                    left = killed[len(before):] if began == [1] and path.read_bytes() == ORIGINAL else []
                    again = self.cli(*self.assign_args(path))
                    self.assertEqual(again.returncode, 0, again.stderr)
                    mac, sn = fields(path)
                    if left:
                        self.assertNotEqual((mac, sn), left[0][:2])
                        left_reserved.append(left[0])
                    else:
                        self.assertEqual((mac, sn), fields_in(written),
                                         f'the same assign again wrote other values; killed, the lease file had '
                                         f'{killed[len(before):]}; again, it said: {again.stderr}')
                        self.assertTrue(path.read_bytes() == written, 'the file is not as a whole run writes it')
                    self.assertEqual(self.lease_units(), [*before, *left, (mac, sn, str(path), 'written')])
                done.append(path)
                number += 1
        finally:
            server().start()
        self.assertGreater(len(done), 20, 'the trace shows too few calls on the files')
        self.assertLessEqual(len(whole), 3, f'runs not killed at their call: {whole}')
        self.assertTrue(left_reserved, 'no run was killed between the start of its write and the bytes landing')
        synced = self.cli('ledger', 'sync', self.ledger, '--station', 'A', '--lease-file', self.lease_file)
        self.assertEqual((synced.returncode, synced.stdout), (0, f'{len(done) + len(left_reserved)} units sent\n'),
                         synced.stderr)
        units = self.assert_no_value_twice([first, *done])
        self.assertEqual(sorted((unit['path'], unit['state'], unit['station']) for unit in units),
                         sorted([(str(path), 'written', 'A') for path in [first, *done]] +
                                [(path, 'reserved', 'A') for _, _, path, _ in left_reserved]))

    def check_killed(self, path, written, before, units):
        """The vendor file whole, old or new; the earlier units as they were; a unit for the file's values."""
        now = path.read_bytes()
        self.assertTrue(now in (ORIGINAL, written), 'the vendor file is neither its old bytes nor its new ones')
        for column, what in ((0, 'MAC'), (1, 'SN')):
            values = [unit[column] for unit in units]
            self.assertEqual(len(values), len(set(values)), f'a {what} in two units of the lease file')
        self.assertEqual(units[:len(before)], before, 'an earlier unit changed')
        added = units[len(before):]
        self.assertLessEqual(len(added), 1)
        if now == written:
            mac, sn = fields(path)
            self.assertEqual([unit[:3] for unit in added], [(mac, sn, str(path))],
                             'the file carries values the lease file does not give it')
            self.assertIn(added[0][3], ('reserved', 'written'))
        else:
            self.assertEqual([unit[2:] for unit in added], [(str(path), 'reserved')] * len(added),
                             'a unit not in the file is recorded other than reserved for it')



class GrantCut(StationLease):
    LEASE = 4

    def test_a_lease_granted_in_a_commit_whose_answer_is_lost_goes_to_one_unit_each_or_to_none(self):
        from cutting_proxy import CuttingProxy
        proxy = CuttingProxy(server().port)
        self.addCleanup(proxy.close)
        through = self.ledger.replace(f':{server().port}/', f':{proxy.port}/')
        path, *down = self.files(1 + self.LEASE)
        first = self.cli(*self.assign_args(path, through))
        self.assertEqual((proxy.cuts, proxy.armed), (1, False), first.stderr)
        self.assertIn(first.returncode, (0, 1, 3), first.stderr)
        if first.returncode != 0:
            again = self.cli(*self.assign_args(path, through))  # what a line's script runs, whatever went wrong
            self.assertEqual(again.returncode, 0, first.stderr + again.stderr)
        mac, sn = fields(path)
        self.assertEqual([(unit['mac'], unit['sn'], unit['state']) for unit in self.units()], [(mac, sn, 'written')])
        # The line goes on: the station from what it knows of its lease, the server down; another station
        # from the server.
        known = {lease for lease, in self.lease_rows('SELECT lease FROM leases')}
        server().stop('immediate')
        proxy.refusing = True  # the lease file is the proxy's ledger's: the station reaches the server through it
        try:
            leased = [self.cli(*self.assign_args(other, through)) for other in down]
        finally:
            server().start()
            proxy.refusing = False
        self.assertEqual({run.returncode for run in leased}, {0} if known else {3},
                         [run.stderr for run in leased])
        others = self.files(self.LEASE + 2, 'other')
        for other in others:
            result = self.cli('assign', other, '--ledger', self.ledger, '--station', 'B')
            self.assertEqual(result.returncode, 0, result.stderr)
        synced = self.cli('ledger', 'sync', through, '--station', 'A', '--lease-file', self.lease_file)
        self.assertEqual(synced.returncode, 0, synced.stderr)
        units = self.assert_no_value_twice([path, *down, *others])
        # A lease the station never learned of is lost to the line: no unit holds a value of it.
        granted = self.server_rows("SELECT lease, mac_first, mac_last FROM leases WHERE station = 'A'")
        self.assertEqual(len(granted), 1, granted)
        if first.returncode == 0:  # it asked after its commit, and kept the lease granted with its unit
            self.assertEqual(known, {granted[0][0]})
        for lease, mac_first, mac_last in granted:
            held = [unit for unit in units if int(mac_first) <= int(unit['mac'], 16) <= int(mac_last)]
            if lease in known:
                self.assertEqual(sorted(unit['path'] for unit in held), sorted(map(str, down)))
            else:
                self.assertEqual(held, [], 'a value of a lease the station never learned of went to a unit')

    def server_rows(self, query):
        return [row.split('|') for row in server().sql(query, self.ledger.rsplit('/', 1)[1]).splitlines()]


if __name__ == '__main__':
    unittest.main(verbosity=2)
