#!/usr/bin/env python3
"""A ledger on a primary and a standby, named by one URL of both: a station
writes to the primary whichever is listed first, goes on through the same
URL once the primary is gone and the standby promoted, and never writes to
a standby; a server that takes the connection but never answers costs its
connect_timeout once, after which the station goes to the server that
answered it last; ledger status and the report say which replication the
ledger is on. A line of stations assigning in a loop goes on through a
crash of the primary and the standby's promotion, with no value handed out
twice when the standby is synchronous, and values handed out twice when it
is an asynchronous one left behind; a synchronous standby that is down holds
an assign for its bounded wait, and the same command finishes it once the
standby is back. Throwaway PostgreSQL 15 clusters on loopback."""
import collections
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'tools'))
sys.path.insert(0, str(Path(__file__).resolve().parent))
from make_sample_vendor import vendor_bytes  # noqa: E402
from postgres_server import PASSWORD, ROLE, Postgres  # noqa: E402

CLI = os.environ['QUORVIX_CLI']
MACS = '001132000000-0011320FFFFF'
SNS = 'QVX2612000001-QVX2612999999'


def list_url(servers, database, query=''):
    """A URL of several servers on loopback, given as clusters or ports, without the password."""
    hosts = ','.join(f'127.0.0.1:{getattr(server, "port", server)}' for server in servers)
    return f'postgresql://{ROLE}@{hosts}/{database}{query}'


class Station(unittest.TestCase):
    """Runs the tool as a station would: the password in PGPASSWORD, its state in a folder of the test's."""

    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix='quorvix-failover-'))
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.state = self.folder / 'state'
        self.made = 0

    def cli(self, *args, state=None, timeout=120, **more):
        """The tool run; more sets environment variables, None leaving one out."""
        env = {key: value for key, value in os.environ.items()
               if not key.startswith('PG') and key not in ('QUORVIX_LEDGER', 'XDG_STATE_HOME')}
        env.update({'PGPASSWORD': PASSWORD, 'XDG_STATE_HOME': str(state or self.state), **more})
        env = {key: value for key, value in env.items() if value is not None}
        return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, timeout=timeout, env=env)

    def ok(self, *args, **kwargs):
        result = self.cli(*args, **kwargs)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout

    def file(self):
        self.made += 1
        path = self.folder / f'unit{self.made}.bin'
        path.write_bytes(vendor_bytes())
        return path

    def assign(self, ledger, **kwargs):
        """assign on a new file: its JSON record, and how long it took."""
        start = time.monotonic()
        result = self.cli('assign', self.file(), '--ledger', ledger, '--json', **kwargs)
        return result, json.loads(result.stdout), time.monotonic() - start

    def remembered(self, state=None):
        """What the state folder holds, file by file."""
        folder = Path(state or self.state) / 'quorvix'
        return sorted(path.read_text() for path in folder.iterdir()) if folder.exists() else []


class Failover(Station):
    @classmethod
    def setUpClass(cls):
        cls.primary = Postgres()
        cls.addClassCleanup(cls.primary.remove)
        cls.standby = cls.primary.standby('s1', synchronous=True)
        cls.addClassCleanup(cls.standby.remove)

    def test_a_list_with_the_standby_first_writes_to_the_primary_and_goes_on_after_a_failover(self):
        self.primary.database('line')
        # A server that says the database is not there ends the tries, as in libpq: the standby must have it.
        self.standby.wait_for("SELECT count(*) FROM pg_database WHERE datname = 'line'", '1')
        ledger = list_url([self.standby, self.primary], 'line', '?connect_timeout=3')
        self.ok('ledger', 'init', ledger, '--mac-range', MACS, '--sn-range', SNS)
        macs = []
        for _ in range(3):
            result, record, _ = self.assign(ledger)
            self.assertEqual(result.returncode, 0, result.stderr)
            macs.append(record['mac'])
        self.assertEqual(macs, ['001132000000', '001132000001', '001132000002'])
        self.assertEqual(self.primary.sql("SELECT string_agg(mac, ',' ORDER BY id) FROM units", 'line').strip(),
                         ','.join(macs))
        self.assertEqual(json.loads(self.ok('ledger', 'status', ledger, '--json'))['replication'], 'synchronous')
        self.assertEqual(self.remembered(), [f'127.0.0.1:{self.standby.port},127.0.0.1:{self.primary.port}\n'
                                             f'127.0.0.1:{self.primary.port}\n'])

        # Each of libpq's target_session_attrs takes the server it names; a station reads from a standby.
        with socket.socket() as probe:
            probe.bind(('127.0.0.1', 0))
            closed = probe.getsockname()[1]
        primary, standby = self.primary, self.standby
        cases = [([standby, primary], 'read-write', primary), ([standby, primary], 'primary', primary),
                 ([standby, primary], 'any', standby), ([primary, standby], 'read-only', standby),
                 ([primary, standby], 'standby', standby), ([primary, standby], 'prefer-standby', standby),
                 ([closed, primary], 'prefer-standby', primary), ([primary, closed], 'standby', None)]
        for number, (servers, attrs, taken) in enumerate(cases):
            with self.subTest(servers=servers, attrs=attrs):
                state = self.folder / f'state-{number}'
                result = self.cli('ledger', 'list', list_url(servers, 'line', f'?target_session_attrs={attrs}'),
                                  state=state)
                if taken is None:
                    self.assertEqual(result.returncode, 3, result.stderr)
                    self.assertIn('server is not in hot standby mode', result.stderr)
                    continue
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(len(result.stdout.splitlines()), 3)
                self.assertEqual(self.remembered(state)[0].splitlines()[1], f'127.0.0.1:{taken.port}')

        # Crashed at once: only a synchronous standby has every commit acknowledged.
        self.primary.stop('immediate')
        # A standby takes no write: nothing is reserved, the file is untouched, try again.
        path = self.file()
        refused = self.cli('assign', path, '--ledger', ledger)
        self.assertEqual(refused.returncode, 3, refused.stderr)
        self.assertIn('ledger at 127.0.0.1,127.0.0.1/line: ', refused.stderr)
        self.assertIn('Connection refused', refused.stderr)
        self.assertIn('read-only', refused.stderr)
        self.assertEqual(path.read_bytes(), vendor_bytes())

        self.standby.promote()
        result, record, took = self.assign(ledger)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(record['mac'], '001132000003')  # none handed out twice
        self.assertLess(took, 5)
        self.assertEqual(self.remembered()[0].splitlines()[1], f'127.0.0.1:{self.standby.port}')
        self.assertIn('replication: none', self.ok('ledger', 'status', ledger))
        listed = [json.loads(line)['mac'] for line in self.ok('ledger', 'list', ledger, '--json').splitlines()]
        self.assertEqual(listed, macs + ['001132000003'])


class Replication(Station):
    @classmethod
    def setUpClass(cls):
        cls.primary = Postgres()
        cls.addClassCleanup(cls.primary.remove)

    def test_status_and_the_report_say_which_replication_the_ledger_is_on(self):
        self.primary.database('line')
        owner = self.primary.url('line', password=None)
        self.ok('ledger', 'init', owner, '--mac-range', MACS, '--sn-range', SNS)
        # A station's role sees as much as the owner: a standby's row, not its state.
        self.primary.sql(f"CREATE ROLE bench LOGIN PASSWORD '{PASSWORD}'")
        self.ok('ledger', 'grant', owner, 'bench')
        station = self.primary.url('line', role='bench', password=None)
        standbys = []

        def asynchronous():
            standbys.append(self.primary.standby('s1'))
            self.addCleanup(standbys[-1].remove)

        def synchronous():
            self.primary.sql("ALTER SYSTEM SET synchronous_standby_names = 'ANY 1 (s1, s2)'")
            self.primary.sql('SELECT pg_reload_conf()')
            self.primary.wait_for('SHOW synchronous_standby_names', 'ANY 1 (s1, s2)')

        steps = [('none', lambda: None), ('asynchronous', asynchronous), ('synchronous', synchronous)]
        for kind, make in steps:
            make()
            for url in (owner, station):
                with self.subTest(kind=kind, url=url):
                    self.assertEqual(json.loads(self.ok('ledger', 'status', url, '--json'))['replication'], kind)
                    self.assertIn(f'replication: {kind} (', self.ok('ledger', 'status', url).splitlines()[0])
                    report = self.folder / 'report.html'
                    self.ok('ledger', 'report', url, '-o', report)
                    self.assertIn(f'replication: {kind} (', report.read_text())

    def test_an_sqlite_ledger_has_no_replication(self):
        ledger = self.folder / 'line.db'
        self.ok('ledger', 'init', ledger, '--mac-range', MACS, '--sn-range', SNS)
        self.assertEqual(json.loads(self.ok('ledger', 'status', ledger, '--json'))['replication'], 'none')
        self.assertEqual(self.ok('ledger', 'status', ledger).splitlines()[0],
                         'replication: none (no standby holds a copy)')


class Silent:
    """A server that takes each connection and never says a word (a host that hangs, or a firewall), counting
    the connections: how often a station waited on it, which a clock on a loaded machine cannot tell."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.bind(('127.0.0.1', 0))
        self.listener.listen(64)
        self.port = self.listener.getsockname()[1]
        self.held = []
        threading.Thread(target=self.hold, daemon=True).start()

    def hold(self):
        while True:
            try:
                self.held.append(self.listener.accept()[0])
            except OSError:
                return

    def close(self):
        self.listener.shutdown(socket.SHUT_RDWR)
        self.listener.close()
        for connection in self.held:
            connection.close()


class Lists(Station):
    """A primary listed with servers that are not there, or take the connection and never say a word."""
    TIMEOUT = 3

    @classmethod
    def setUpClass(cls):
        cls.primary = Postgres()
        cls.addClassCleanup(cls.primary.remove)
        cls.primary.database('line')
        cls.silent = []
        for _ in range(2):
            cls.silent.append(Silent())
            cls.addClassCleanup(cls.silent[-1].close)
        subprocess.run([CLI, 'ledger', 'init', cls.primary.url('line'), '--mac-range', MACS, '--sn-range', SNS],
                       check=True, capture_output=True)

    def test_a_silent_first_server_costs_its_timeout_once_then_the_one_that_answered_goes_first(self):
        silent = self.silent[0]
        ledger = list_url([silent, self.primary], 'line', f'?connect_timeout={self.TIMEOUT}')
        # libpq counts whole seconds of the clock: a timeout of 3 s waits more than 2.
        for name, state, waits in [('first', None, 1), ('next', None, 0), ('another station', self.folder / 'other', 1)]:
            with self.subTest(name):
                before = len(silent.held)
                result, record, took = self.assign(ledger, state=state)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(record['result'], 'written')
                self.assertEqual(len(silent.held) - before, waits)
                if waits:
                    self.assertGreater(took, self.TIMEOUT - 1)
        for state in (self.state, self.folder / 'other'):
            self.assertEqual(self.remembered(state), [f'127.0.0.1:{silent.port},127.0.0.1:{self.primary.port}\n'
                                                      f'127.0.0.1:{self.primary.port}\n'])

    def test_each_server_of_a_list_has_its_own_timeout(self):
        ledger = list_url([*self.silent, self.primary], 'line', f'?connect_timeout={self.TIMEOUT}')
        before = [len(silent.held) for silent in self.silent]
        result, _, took = self.assign(ledger)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual([len(silent.held) - count for silent, count in zip(self.silent, before)], [1, 1])
        self.assertGreater(took, 2 * (self.TIMEOUT - 1))

    def test_a_list_out_of_reach_asks_for_a_retry_naming_each_server_and_no_password(self):
        closed = []
        for _ in range(2):
            with socket.socket() as probe:
                probe.bind(('127.0.0.1', 0))
                closed.append(probe.getsockname()[1])
        hosts = f'127.0.0.1:{closed[0]},127.0.0.1:{closed[1]}'
        url = f'postgresql://{ROLE}:{PASSWORD}@{hosts}/line'
        path = self.file()
        assigned = self.cli('assign', path, '--ledger', url, '--json')
        status = self.cli('ledger', 'status', url)
        for result in (assigned, status):
            self.assertEqual(result.returncode, 3, result.stderr)
            for port in closed:
                self.assertIn(f'port {port} failed: Connection refused', result.stderr)
            self.assertNotIn(PASSWORD, result.stdout + result.stderr)
        self.assertTrue(json.loads(assigned.stdout)['error'].startswith('ledger at 127.0.0.1,127.0.0.1/line: '),
                        assigned.stdout)
        self.assertIn(f'postgresql://{ROLE}:***@{hosts}/line: ', status.stderr)
        self.assertEqual(path.read_bytes(), vendor_bytes())
        self.assertEqual(self.remembered(), [])

    def test_the_password_file_serves_each_server_of_a_list_by_its_own_line(self):
        with socket.socket() as probe:
            probe.bind(('127.0.0.1', 0))
            closed = probe.getsockname()[1]
        ledger = list_url([closed, self.primary], 'line')
        passwords = self.folder / 'pgpass'
        for port, code in [(self.primary.port, 0), (closed, 2)]:
            with self.subTest(line_for=port):
                passwords.write_text(f'127.0.0.1:{port}:line:{ROLE}:{PASSWORD}\n')
                passwords.chmod(0o600)
                result = self.cli('ledger', 'status', ledger, PGPASSWORD=None, PGPASSFILE=str(passwords))
                self.assertEqual(result.returncode, code, result.stderr)
                if code:
                    self.assertIn('password', result.stderr)


Run = collections.namedtuple('Run', 'station path code end stdout stderr')


class Line(Station):
    """Four stations, each with its own name, state, journal and files, assigning unit after unit through the URL
    of a primary and its standby as a line's script does: the same command again on exit 3 and 1, after a short
    pause, a bounded number of times. The primary crashes mid-run and the site promotes the standby."""
    STATIONS = 4
    PAUSE = 0.2
    TRIES = 150  # half a minute of pauses, far more than the failover the test makes

    def station(self, name, ledger, stop, runs):
        folder = self.folder / name
        folder.mkdir()
        place = {'state': folder / 'state', 'QUORVIX_JOURNAL': str(folder / 'journal.db')}
        number = 0
        while not stop.is_set():
            number += 1
            path = folder / f'unit{number}.bin'
            path.write_bytes(vendor_bytes())
            for _ in range(self.TRIES):
                result = self.cli('assign', path, '--ledger', ledger, '--station', name, '--json', **place)
                runs.append(Run(name, path, result.returncode, time.monotonic(), result.stdout, result.stderr))
                if result.returncode not in (1, 3):
                    break
                time.sleep(self.PAUSE)
            if result.returncode != 0:
                return  # its last run says why

    def fail_over(self, primary, standby, behind=False):
        """The line run through a crash of the primary and the standby's promotion, until each station has
        written units on the promoted one: every run, and when the primary crashed and the promotion began.
        Behind, the standby's WAL receiver is stopped before the crash, while the line writes on."""
        primary.database('line')
        standby.wait_for("SELECT count(*) FROM pg_database WHERE datname = 'line'", '1')
        ledger = list_url([primary, standby], 'line', '?target_session_attrs=read-write&connect_timeout=3')
        self.ok('ledger', 'init', ledger, '--mac-range', MACS, '--sn-range', SNS)
        runs, stop = [], threading.Event()
        names = [f'bench-{number}' for number in range(1, self.STATIONS + 1)]
        threads = [threading.Thread(target=self.station, args=(name, ledger, stop, runs)) for name in names]

        def until(done, seconds):
            deadline = time.monotonic() + seconds
            while not done() and all(thread.is_alive() for thread in threads):
                self.assertLess(time.monotonic(), deadline, 'the line did not get that far')
                time.sleep(0.05)

        def written(since=0.0):
            return collections.Counter(run.station for run in runs if run.code == 0 and run.end > since)

        for thread in threads:
            thread.start()
        try:
            until(lambda: all(written()[name] >= 3 for name in names), 60)
            if behind:
                receiver = int(standby.sql('SELECT pid FROM pg_stat_wal_receiver'))
                os.kill(receiver, signal.SIGSTOP)
                # More WAL than the sockets between them hold: what the line commits next stays the primary's.
                primary.sql("CREATE TABLE filler AS SELECT repeat('x', 500) FROM generate_series(1, 100000)")
                lagging = time.monotonic()
                until(lambda: all(written(lagging)[name] >= 2 for name in names), 60)
            primary.stop('immediate')
            crashed = time.monotonic()
            if behind:
                os.kill(receiver, signal.SIGCONT)  # promotion ends the receiver, which a stopped one cannot
            time.sleep(1)  # the site decides; meanwhile no server takes writes
            promoted = time.monotonic()
            standby.promote()
            until(lambda: all(written(promoted)[name] >= 3 for name in names), 60)
        finally:
            stop.set()
            for thread in threads:
                thread.join()
        for name in names:
            last = [run for run in runs if run.station == name][-1]
            self.assertEqual(last.code, 0, f'{name}: {last.stderr}')
        return runs, crashed, promoted

    def carried(self, paths):
        """The MAC and SN each file carries, by path."""
        shown = [json.loads(line) for line in self.ok('show', '--json', *paths).splitlines()]
        return {path: (record['mac'], record['sn']) for path, record in zip(paths, shown)}

    def outcome(self, runs, crashed, promoted, server):
        """What the line handed out, as the files and the promoted server hold it, with the figures printed."""
        done = [run for run in runs if run.code == 0]
        carried = self.carried([run.path for run in done])
        for run in done:
            record = json.loads(run.stdout)
            self.assertEqual(record['result'], 'written', run.stderr)
            self.assertEqual(carried[run.path], (record['mac'], record['sn']), run.stderr)
        macs = collections.Counter(mac for mac, _ in carried.values())
        sns = collections.Counter(sn for _, sn in carried.values())
        twice = [path for path, (mac, sn) in carried.items() if macs[mac] > 1 or sns[sn] > 1]
        units = {}
        for line in server.sql('SELECT mac, sn, state, path FROM units', 'line').splitlines():
            mac, sn, state, path = line.split('|', 3)
            units[mac] = (sn, state, path)
        unrecorded = [run.path for run in done if units.get(carried[run.path][0]) !=
                      (carried[run.path][1], 'written', str(run.path))]
        went_on = min(run.end for run in done if run.end > promoted) - promoted
        print(f'\n{self.id()}: units before the crash {sum(run.end < crashed for run in done)}, '
              f'after the promotion {sum(run.end > promoted for run in done)}; the line went on '
              f'{went_on:.1f} s after the promotion; retries {len(runs) - len(done)}; files carrying values '
              f'another carries {len(twice)}; units written but not on the promoted server {len(unrecorded)}',
              file=sys.stderr)
        return carried, twice, units, unrecorded, went_on

    def test_a_synchronous_standby_promoted_mid_run_hands_out_no_value_twice_and_loses_no_unit(self):
        primary = Postgres()
        self.addCleanup(primary.remove)
        standby = primary.standby('s1', synchronous=True)
        self.addCleanup(standby.remove)
        runs, crashed, promoted = self.fail_over(primary, standby)
        carried, twice, units, unrecorded, went_on = self.outcome(runs, crashed, promoted, standby)
        self.assertEqual(twice, [])
        self.assertEqual(unrecorded, [])
        values = set(carried.values())
        left = [mac for mac, (sn, state, _) in units.items() if state == 'reserved' and (mac, sn) in values]
        self.assertEqual(left, [])
        self.assertLess(went_on, 30)

    def test_an_asynchronous_standby_left_behind_hands_out_values_twice(self):
        primary = Postgres()
        self.addCleanup(primary.remove)
        standby = primary.standby('s1')
        self.addCleanup(standby.remove)
        runs, crashed, promoted = self.fail_over(primary, standby, behind=True)
        _, twice, _, unrecorded, _ = self.outcome(runs, crashed, promoted, standby)
        self.assertNotEqual(twice, [])
        self.assertNotEqual(unrecorded, [])


class StandbyDown(Station):
    def test_a_synchronous_standby_down_holds_an_assign_for_its_bounded_wait_and_the_same_command_finishes_it(self):
        primary = Postgres()
        self.addCleanup(primary.remove)
        standby = primary.standby('s1', synchronous=True)
        self.addCleanup(standby.remove)
        primary.database('line')
        standby.wait_for("SELECT count(*) FROM pg_database WHERE datname = 'line'", '1')
        ledger = list_url([primary, standby], 'line')
        self.ok('ledger', 'init', ledger, '--mac-range', MACS, '--sn-range', SNS)
        standby.stop()

        path = self.file()
        command = ['assign', path, '--ledger', ledger, '--station', 'bench-1', '--json']
        journal = {'QUORVIX_JOURNAL': str(self.folder / 'journal.db')}
        start = time.monotonic()
        try:  # the statement timeout, then the tool's asking after its commit
            held = self.cli(*command, timeout=45, **journal)
        except subprocess.TimeoutExpired:
            held = None
        self.assertIsNotNone(held, 'assign still waiting after 45 s with its synchronous standby down')
        print(f'\n{self.id()}: exit {held.returncode} after {time.monotonic() - start:.1f} s', file=sys.stderr)
        self.assertEqual(held.returncode, 3, held.stderr)
        self.assertIn('values may have been reserved, none was written', held.stderr)
        self.assertEqual(path.read_bytes(), vendor_bytes())
        # The primary committed it alone: reserved, for no device yet.
        reserved = primary.sql("SELECT mac FROM units WHERE state = 'reserved'", 'line').split()
        self.assertEqual(len(reserved), 1)

        standby.start()
        primary.wait_for("SELECT sync_state FROM pg_stat_replication WHERE application_name = 's1'", 'sync')
        finished = self.cli(*command, **journal)
        self.assertEqual(finished.returncode, 0, finished.stderr)
        record = json.loads(finished.stdout)
        self.assertEqual(record['mac'], reserved[0])
        shown = json.loads(self.ok('show', '--json', path))
        self.assertEqual((shown['mac'], shown['sn']), (record['mac'], record['sn']))
        units = primary.sql("SELECT mac, state, path FROM units", 'line').splitlines()
        self.assertEqual(units, [f"{record['mac']}|written|{path}"])
        standby.wait_for(f"SELECT state FROM units WHERE mac = '{record['mac']}'", 'written', database='line')


if __name__ == '__main__':
    unittest.main()
