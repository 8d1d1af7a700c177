#!/usr/bin/env python3
"""A ledger on a primary and a standby, named by one URL of both: a station
writes to the primary whichever is listed first, goes on through the same
URL once the primary is gone and the standby promoted, and never writes to
a standby; a server that takes the connection but never answers costs its
connect_timeout once, after which the station goes to the server that
answered it last; ledger status and the report say which replication the
ledger is on. Throwaway PostgreSQL 15 clusters on loopback."""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
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

    def cli(self, *args, state=None, **more):
        """The tool run; more sets environment variables, None leaving one out."""
        env = {key: value for key, value in os.environ.items()
               if not key.startswith('PG') and key not in ('QUORVIX_LEDGER', 'XDG_STATE_HOME')}
        env.update({'PGPASSWORD': PASSWORD, 'XDG_STATE_HOME': str(state or self.state), **more})
        env = {key: value for key, value in env.items() if value is not None}
        return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, timeout=120, env=env)

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


class Lists(Station):
    """A primary listed with servers that are not there, or take the connection and never say a word (a host
    that hangs, or a firewall)."""
    TIMEOUT = 3

    @classmethod
    def setUpClass(cls):
        cls.primary = Postgres()
        cls.addClassCleanup(cls.primary.remove)
        cls.primary.database('line')
        cls.silent = []
        for _ in range(2):
            listener = socket.socket()
            listener.bind(('127.0.0.1', 0))
            listener.listen(64)  # the kernel completes each connection; none is ever accepted
            cls.addClassCleanup(listener.close)
            cls.silent.append(listener.getsockname()[1])
        subprocess.run([CLI, 'ledger', 'init', cls.primary.url('line'), '--mac-range', MACS, '--sn-range', SNS],
                       check=True, capture_output=True)

    def test_a_silent_first_server_costs_its_timeout_once_then_the_one_that_answered_goes_first(self):
        ledger = list_url([self.silent[0], self.primary], 'line', f'?connect_timeout={self.TIMEOUT}')
        # libpq counts whole seconds of the clock: a timeout of 3 s waits more than 2.
        waited = (self.TIMEOUT - 1, self.TIMEOUT + 2)
        durations = {}
        for name, state in [('first', None), ('next', None), ('another station', self.folder / 'other')]:
            result, record, durations[name] = self.assign(ledger, state=state)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(record['result'], 'written')
        self.assertTrue(waited[0] < durations['first'] < waited[1], durations)
        self.assertLess(durations['next'], 1.5, durations)
        self.assertTrue(waited[0] < durations['another station'] < waited[1], durations)
        for state in (self.state, self.folder / 'other'):
            self.assertEqual(self.remembered(state), [f'127.0.0.1:{self.silent[0]},127.0.0.1:{self.primary.port}\n'
                                                      f'127.0.0.1:{self.primary.port}\n'])

    def test_each_server_of_a_list_has_its_own_timeout(self):
        ledger = list_url([*self.silent, self.primary], 'line', f'?connect_timeout={self.TIMEOUT}')
        result, _, took = self.assign(ledger)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(2 * (self.TIMEOUT - 1) < took < 2 * self.TIMEOUT + 3, took)

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


if __name__ == '__main__':
    unittest.main()
