#!/usr/bin/env python3
"""The rules a ledger keeps on its own rows, on SQLite or, with
QUORVIX_LEDGER_KIND=postgresql, on a throwaway PostgreSQL server set up as a
line is: an owner role, and stations' login roles in a group the owner
granted. Whoever writes to the ledger, with the tool or without it, no
counter moves back, no unit's values change, no unit moves but as a write
ends, and no row or history is lost or rewritten; every change of a unit is
in its history. On the server also: a station's role does all of a
station's work and nothing of the owner's, a unit's time is the server's
whatever the station's clock says, and a ledger of the previous version is
brought up to date by its owner alone."""
import csv
import datetime
import json
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import unittest
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'tools'))
from make_sample_vendor import sample_files, vendor_bytes  # noqa: E402

CLI = os.environ['QUORVIX_CLI']
STRACE = shutil.which('strace')
FAKETIME = shutil.which('faketime')
KIND = os.environ.get('QUORVIX_LEDGER_KIND', 'sqlite')
SERVER = None  # the PostgreSQL cluster, for that kind
OWNER, STATIONS = 'line', ('s1', 's2')
PASSWORD = 's3cret'
MACS = '001132000000-0011320000FF'
SNS = 'QVX2612000001-QVX2612000999'
VERSION2 = Path(__file__).with_name('ledger_version2.sql')


def setUpModule():
    global SERVER
    if KIND == 'postgresql':
        from postgres_server import Postgres
        SERVER = Postgres()
        SERVER.sql('CREATE ROLE stations NOLOGIN; ' + ' '.join(
            f"CREATE ROLE {role} LOGIN PASSWORD '{PASSWORD}' IN ROLE stations;" for role in STATIONS))


def tearDownModule():
    if SERVER:
        SERVER.remove()


def fields_in(data: bytes):
    return data[0:6].hex().upper(), data[35:48].decode('latin-1')


def role(name):
    """The role a ledger records for a station's role: none on SQLite."""
    return name if SERVER else ''


def database(ledger):
    return str(ledger).rsplit('/', 1)[1]


def utc_now():
    return datetime.datetime.now(datetime.timezone.utc).strftime('%Y-%m-%dT%H:%M:%SZ')


# What a ledger's database is, besides its rows: its tables, columns,
# privileges, triggers and functions. (A sequence moves on with every
# insert, refused or not: its value is none of the ledger's.)
SERVER_SCHEMA = ' || '.join(f"E'\\n--\\n' || coalesce(({query}), '')" for query in [
    "SELECT string_agg(relname || ' ' || relkind::text || ' ' || pg_get_userbyid(relowner) || ' ' || "
    "coalesce(relacl::text, ''), E'\\n' ORDER BY relname) FROM pg_class WHERE relnamespace = 'public'::regnamespace",
    "SELECT string_agg(attrelid::regclass || '.' || attname || ' ' || coalesce(attacl::text, ''), E'\\n' "
    "ORDER BY attrelid::regclass::text, attnum) FROM pg_attribute WHERE attnum > 0 AND NOT attisdropped AND "
    "attrelid IN (SELECT oid FROM pg_class WHERE relnamespace = 'public'::regnamespace AND relkind = 'r')",
    "SELECT string_agg(tgrelid::regclass || '.' || tgname || ' ' || tgenabled::text, E'\\n' ORDER BY tgname) "
    "FROM pg_trigger WHERE NOT tgisinternal",
    "SELECT string_agg(proname || ' ' || pg_get_userbyid(proowner), E'\\n' ORDER BY proname) FROM pg_proc "
    "WHERE pronamespace = 'public'::regnamespace",
    "SELECT datacl::text FROM pg_database WHERE datname = current_database()",
    "SELECT nspacl::text FROM pg_namespace WHERE nspname = 'public'",
])


def dump(ledger):
    """Every row of every table of a ledger, and on the server what its
    database is besides."""
    if SERVER:
        tables = SERVER.sql("SELECT string_agg(relname, ' ' ORDER BY relname) FROM pg_class WHERE "
                            "relnamespace = 'public'::regnamespace AND relkind = 'r'", database(ledger)).split()
        rows = ''.join(f"SELECT '{table}', t::text FROM {table} t UNION ALL " for table in tables)
        return SERVER.sql(f"{rows}SELECT 'schema', {SERVER_SCHEMA} ORDER BY 1, 2", database(ledger))
    with sqlite3.connect(ledger) as connection:
        tables = [name for name, in connection.execute("SELECT name FROM sqlite_master WHERE type = 'table'")]
        return [connection.execute(f'SELECT * FROM {table} ORDER BY rowid').fetchall()
                for table in [*tables, 'sqlite_master']]


def run_sql(ledger, statements, as_role=OWNER):
    """Runs statements in one transaction as a role (on SQLite, as whoever
    may write the file): what the database said against them, or None."""
    if SERVER:
        done = subprocess.run([*SERVER.as_user, 'psql', '-h', str(SERVER.folder), '-p', str(SERVER.port), '-U',
                               as_role, '-d', database(ledger), '-XAtq', '-v', 'ON_ERROR_STOP=1', '-c',
                               '; '.join(statements)], capture_output=True, text=True, timeout=120)
        # A GRANT of privileges one has no grant option for only warns.
        said = done.stderr.strip()
        return said if done.returncode or 'WARNING' in said else None
    connection = sqlite3.connect(ledger)
    try:
        with connection:
            for statement in statements:
                connection.execute(statement)
    except sqlite3.IntegrityError as refused:
        return str(refused)
    finally:
        connection.close()
    return None


UNIT_COLUMNS = 'mac, sn, path, station, host, time, station_time, state, mac_before, sn_before'
# What each rule says when it refuses.
GROWS = 'changes in nothing but its next value, which only grows'
KEPT = 'never deleted|keeps every row'
VALUES_KEPT = "values, values before, station, host, times, role, request and lease never change"
MOVES = 'a unit moves only from reserved to written or failed'
HISTORY = 'history of the ledger is never'
WRITTEN_OVER = 'never written over'

# Forbidden row changes, on a ledger whose unit 1 is written and whose
# latest unit, 2, is reserved, with its MAC and SN the counters' last: what
# each is, its statements (one transaction), and what refuses it.
ROW_CHANGES = [
    ("moving a MAC range's next back", ['UPDATE mac_ranges SET next = next - 1'], GROWS),
    ("moving an SN range's next back", ['UPDATE sn_ranges SET next = next - 1'], GROWS),
    ("moving a range's next past its last", ['UPDATE mac_ranges SET next = last + 2'], GROWS),
    ("changing a MAC range's first", ['UPDATE mac_ranges SET first = first + 1'], GROWS),
    ("changing a MAC range's last", ['UPDATE mac_ranges SET last = last + 256'], GROWS),
    ("changing an SN range's first", ['UPDATE sn_ranges SET first = first - 1'], GROWS),
    ("changing an SN range's prefix", ["UPDATE sn_ranges SET prefix = 'QVY'"], GROWS),
    ("changing an SN range's width", ['UPDATE sn_ranges SET width = 11'], GROWS),
    ('adding a range already under way', [f'INSERT INTO mac_ranges (first, last, next) VALUES '
                                          f'({0x001133000000}, {0x0011330000FF}, {0x001133000005})'],
     'a range begins at its first value'),
    ('deleting a MAC range', ['DELETE FROM mac_ranges'], KEPT),
    ('deleting an SN range', ['DELETE FROM sn_ranges'], KEPT),
    ('a unit with values beyond the counters', [
        f"INSERT INTO units ({UNIT_COLUMNS}) VALUES ('0011320000F0', 'QVX2612000900', '/elsewhere', 'A', 'h', "
        "'2026-12-10T00:00:00Z', '2026-12-10T00:00:00Z', 'reserved', '001132ABCDEF', 'ABCDEFGHIJKLM')"],
     "only with the values the ranges' counters just gave"),
    ('a unit made written, with the values the counters give', [
        'UPDATE mac_ranges SET next = next + 1', 'UPDATE sn_ranges SET next = next + 1',
        f"INSERT INTO units ({UNIT_COLUMNS}) VALUES ('001132000002', 'QVX2612000003', '/elsewhere', 'A', 'h', "
        "'2026-12-10T00:00:00Z', '2026-12-10T00:00:00Z', 'written', '001132ABCDEF', 'ABCDEFGHIJKLM')"],
     'a unit is made reserved'),
    *((f"changing a unit's {column}", [f'UPDATE units SET {column} = {value} WHERE id = 1'], VALUES_KEPT)
      for column, value in [('mac', "'0011320000AA'"), ('sn', "'QVX2612000500'"), ('mac_before', "'001132000099'"),
                            ('sn_before', "'ABCDEFGHIJKLN'"), ('station', "'elsewhere'"), ('host', "'elsewhere'"),
                            ('time', "'2020-01-01T00:00:00Z'"), ('station_time', "'2020-01-01T00:00:00Z'"),
                            ('role', "'s2'")]),
    ('written to reserved', ["UPDATE units SET state = 'reserved' WHERE id = 1"], MOVES),
    ('written to failed', ["UPDATE units SET state = 'failed' WHERE id = 1"], MOVES),
    ("changing a written unit's path", ["UPDATE units SET path = '/elsewhere' WHERE id = 1"], MOVES),
    ('a written unit said restored', ['UPDATE units SET restored = 1 WHERE id = 1'], MOVES),
    ('replaced by a unit that did not take its device',
     ["UPDATE units SET state = 'replaced', replaced_by = 2 WHERE id = 1"], MOVES),
    ('deleting a unit', ['DELETE FROM units WHERE id = 1'], KEPT),
    ('the latest unit written over by an insert', [
        f'INSERT INTO units ({UNIT_COLUMNS}) SELECT mac, sn, \'/elsewhere\', station, host, time, station_time, '
        "'reserved', mac_before, sn_before FROM units WHERE id = 2 ON CONFLICT (mac) DO UPDATE SET path = "
        'excluded.path'], f'{WRITTEN_OVER}|{MOVES}'),
    ('changing a history row', ["UPDATE history SET path = '/elsewhere' WHERE id = 1"], HISTORY),
    ('noting on a history row', ["UPDATE history SET note = 'as found'"], HISTORY),
    ('deleting the history', ['DELETE FROM history'], HISTORY),
    ("moving the ledger's version back", ['UPDATE quorvix_ledger SET version = 2'], 'only moves forward'),
    ("deleting the ledger's version", ['DELETE FROM quorvix_ledger'], KEPT),
    ('a second version', ['INSERT INTO quorvix_ledger VALUES (3)'], 'a ledger has one version'),
]

# SQLite's REPLACE deletes the row it conflicts with without a delete trigger.
SQLITE_CHANGES = [
    ("a MAC range written over, its next back at its first",
     ['REPLACE INTO mac_ranges (id, first, last, next) SELECT id, first, last, first FROM mac_ranges'], WRITTEN_OVER),
    ("an SN range written over, its next back at its first",
     ['REPLACE INTO sn_ranges (id, prefix, width, first, last, next) SELECT id, prefix, width, first, last, first '
      'FROM sn_ranges'], WRITTEN_OVER),
    ('the latest unit written over by REPLACE', [
        f"REPLACE INTO units ({UNIT_COLUMNS}) SELECT mac, sn, '/elsewhere', 'elsewhere', host, time, station_time, "
        "'reserved', mac_before, sn_before FROM units WHERE id = 2"], WRITTEN_OVER),
    ('a history row written over by REPLACE', [
        "REPLACE INTO history (id, unit, state_before, state, path, station, role, time, note) SELECT id, unit, "
        "state_before, state, '/elsewhere', station, role, time, 'forged' FROM history WHERE id = 1"], WRITTEN_OVER),
]

SERVER_CHANGES = [(f'TRUNCATE of {table}', [f'TRUNCATE {table}'], KEPT)
                  for table in ('quorvix_ledger', 'mac_ranges', 'sn_ranges', 'units', 'history', 'leases',
                                'lease_ends')]

# What a station's role may not do to the database itself.
STATION_STATEMENTS = [
    (name, [statement]) for name, statement in [
        ('DROP TABLE', 'DROP TABLE history'),
        ('ALTER TABLE adding a column', 'ALTER TABLE units ADD COLUMN note TEXT'),
        ('ALTER TABLE renaming it', 'ALTER TABLE units RENAME TO units_kept'),
        ('ALTER TABLE renaming a column', 'ALTER TABLE units RENAME COLUMN path TO place'),
        ("disabling a table's triggers", 'ALTER TABLE units DISABLE TRIGGER ALL'),
        ('DROP TRIGGER', 'DROP TRIGGER units_history ON units'),
        ('triggers off for the session', 'SET session_replication_role = replica'),
        ("setting a unit's sequence", "SELECT setval('units_id_seq', 1)"),
        ("setting the history's sequence", "SELECT setval('history_id_seq', 1)"),
        ('CREATE TABLE', 'CREATE TABLE units2 (id BIGINT)'),
        ('CREATE TEMP TABLE', 'CREATE TEMP TABLE units (id BIGINT)'),
        ('CREATE FUNCTION', 'CREATE FUNCTION now() RETURNS timestamptz LANGUAGE sql AS $$SELECT now()$$'),
        ('writing a history row', "INSERT INTO history (unit, state, path, station, role, time) "
                                  "VALUES (1, 'written', '/elsewhere', 'A', 's1', '2026-12-10T00:00:00Z')"),
        ("moving the ledger's version on", 'UPDATE quorvix_ledger SET version = 5'),
        ('GRANT of a table to another role', 'GRANT SELECT ON units TO s2'),
        ("GRANT of a range's next to another role", 'GRANT UPDATE (next) ON mac_ranges TO s2'),
        ('taking the ledger over', 'ALTER TABLE units OWNER TO s1'),
    ]]


class RulesTest(unittest.TestCase):
    made = 0

    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix='quorvix-rules-'))
        self.addCleanup(shutil.rmtree, self.folder, True)

    def new_ledger(self, name='line'):
        """Where a ledger may be made: an SQLite file not there yet, or an
        empty database on the server, owned by the owner."""
        if not SERVER:
            return self.folder / f'{name}.db'
        RulesTest.made += 1
        return SERVER.url(database(SERVER.database(f'{name}{RulesTest.made}')), password=None)

    def as_role(self, ledger, name):
        """The ledger as a role reaches it; on SQLite, the file."""
        return SERVER.url(database(ledger), role=name, password=None) if SERVER else ledger

    def cli(self, *args, **kwargs):
        return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, timeout=120,
                              env={**os.environ, 'PGPASSWORD': PASSWORD}, **kwargs)

    def ok(self, *args):
        result = self.cli(*args)
        self.assertEqual(result.returncode, 0, f'{args}: {result.stderr}')
        return result.stdout

    def made_ledger(self, macs=MACS, sns=SNS):
        """A new ledger, its stations' group granted on the server."""
        ledger = self.new_ledger()
        self.ok('ledger', 'init', ledger, '--mac-range', macs, '--sn-range', sns)
        if SERVER:
            self.ok('ledger', 'grant', ledger, 'stations')
        return ledger

    def files(self, count, prefix='unit'):
        return sample_files(self.folder, count, prefix)

    def killed_after_its_write(self, ledger, path, *args):
        """assign, killed once the file's new bytes are written, before they
        are flushed or recorded: the unit stays reserved."""
        run = subprocess.run([STRACE, '-f', '-qq', '-o', os.devnull, '-P', str(path), '-e', 'trace=fsync', '-e',
                              'inject=fsync:signal=KILL:when=1', CLI, 'assign', str(path), '--ledger', str(ledger),
                              *args], capture_output=True, timeout=120, env={**os.environ, 'PGPASSWORD': PASSWORD})
        self.assertNotEqual(fields_in(path.read_bytes()), fields_in(vendor_bytes()), run.stderr)

    def units(self, ledger):
        return [json.loads(line) for line in self.ok('ledger', 'list', ledger, '--json').splitlines()]

    def histories(self, ledger, macs):
        """Each unit's history as find --json gives it, by MAC."""
        found = [json.loads(line) for line in self.ok('ledger', 'find', ledger, *macs, '--json').splitlines()]
        return {unit['mac']: unit['history'] for unit in found}

    def ledger_with_units(self):
        """A ledger whose unit 1 is written and whose unit 2, the latest, is
        reserved, both by s1 at station A."""
        ledger = self.made_ledger()
        written, reserved = self.files(2)
        station = self.as_role(ledger, 's1')
        self.ok('assign', written, '--ledger', station, '--station', 'A')
        self.killed_after_its_write(station, reserved, '--station', 'A')
        self.assertEqual([u['state'] for u in self.units(ledger)], ['written', 'reserved'])
        return ledger

    def assert_refused(self, ledger, cases, as_role=OWNER, privilege=False):
        """Each case's statements refused for its reason (or, where privilege,
        for the role's lack of one), the ledger the same after each."""
        for name, statements, *why in cases:
            with self.subTest(name, role=as_role):
                before = dump(ledger)
                said = run_sql(ledger, statements, as_role)
                self.assertIsNotNone(said, 'not refused')
                reasons = [*why, *(['permission denied|must be owner|no privileges were granted'] if privilege else [])]
                self.assertRegex(said, '|'.join(reasons))
                self.assertEqual(dump(ledger), before)


class RowRules(RulesTest):
    def test_every_forbidden_row_change_is_refused_and_changes_nothing(self):
        ledger = self.ledger_with_units()
        if SERVER:
            # The owner is held by the row rules themselves; a station also by its privileges.
            self.assert_refused(ledger, ROW_CHANGES + SERVER_CHANGES)
            self.assert_refused(ledger, ROW_CHANGES + SERVER_CHANGES, as_role='s1', privilege=True)
            # Only the station that reserved a unit says its write failed.
            self.assert_refused(ledger, [('another role says a reserved unit failed',
                                          ["UPDATE units SET state = 'failed' WHERE id = 2"],
                                          'only the role that reserved a unit')], as_role='s2')
        else:
            self.assert_refused(ledger, ROW_CHANGES + SQLITE_CHANGES)
        # The tool goes on where it was: the reserved unit is settled, and the next values are the counters' next.
        station = self.as_role(ledger, 's1')
        self.ok('ledger', 'reconcile', station, '--station', 'A')
        more, = self.files(1, prefix='more')
        self.ok('assign', more, '--ledger', station, '--station', 'A')
        self.assertEqual(fields_in(more.read_bytes()), ('001132000002', 'QVX2612000003'))
        self.assertEqual([(u['mac'], u['state'], u['role']) for u in self.units(ledger)],
                         [(f'00113200000{i}', 'written', role('s1')) for i in range(3)])

    def test_a_units_history_from_reserved_to_failed_to_written_to_replaced(self):
        ledger = self.made_ledger()
        first, second = (self.as_role(ledger, name) for name in STATIONS)
        place, = self.files(1)
        started = utc_now()
        self.killed_after_its_write(first, place, '--station', 'A')
        # The device leaves its place, a blank takes it: A's reconcile finds the write failed.
        device = self.folder / 'device.bin'
        shutil.move(place, device)
        place.write_bytes(vendor_bytes())
        self.ok('ledger', 'reconcile', first, '--station', 'A')
        # Brought back elsewhere, the device shows the write landed.
        self.ok('ledger', 'reconcile', second, device)
        # Another device holding the unit's values takes new ones: the unit is replaced.
        other = self.folder / 'other.bin'
        shutil.copy(device, other)
        self.ok('assign', other, '--ledger', first, '--station', 'B', '--reassign')
        ended = utc_now()
        mac, sn = fields_in(device.read_bytes())
        successor = fields_in(other.read_bytes())[0]
        histories = self.histories(ledger, [mac, successor])
        moves = [(None, 'reserved', place, 's1'), ('reserved', 'failed', place, 's1'),
                 ('failed', 'written', device, 's2'), ('written', 'replaced', device, 's1')]
        self.assertEqual([{key: change[key] for key in ('mac', 'sn', 'state_before', 'state', 'path', 'station',
                                                        'role')} for change in histories[mac]],
                         [{'mac': mac, 'sn': sn, 'state_before': before, 'state': state, 'path': str(path),
                           'station': 'A', 'role': role(name)} for before, state, path, name in moves])
        self.assertEqual([(c['state_before'], c['state'], c['path'], c['station']) for c in histories[successor]],
                         [(None, 'reserved', str(other), 'B'), ('reserved', 'written', str(other), 'B')])
        times = [change['time'] for change in histories[mac]]
        self.assertEqual(times, sorted(times))
        self.assertTrue(all(started <= time <= ended for time in times), (started, times, ended))
        text = self.ok('ledger', 'find', ledger, mac)
        lines, its = [], False
        for line in text.splitlines():  # a unit's line, its details, then its history's lines, further in
            its = f'MAC {mac} ' in line if re.match(r'^  \S', line) else its
            if its and re.match(r'^      \d{4}-', line):
                lines.append(line.strip())
        self.assertEqual(len(lines), len(moves), text)
        for line, (before, state, path, name) in zip(lines, moves):
            moved = f'{before} -> {state}' if before else f'made {state}'
            shown = f'{moved}  {path}  (A' + (f', role {name})' if SERVER else ')')
            self.assertTrue(line.endswith(shown), (line, shown))

    def test_a_ledger_of_the_previous_version_is_brought_up_to_date_by_its_owner(self):
        text = VERSION2.read_text()
        id_column = 'BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY' if SERVER else 'INTEGER PRIMARY KEY'
        statements = text.replace('{id}', id_column)
        ledger = self.new_ledger('version2')
        # The units the previous tool recorded, as the file holds them.
        rows = re.findall(r'^INSERT INTO units \(([^)]*)\) VALUES \((.*)\);$', text, re.MULTILINE)
        recorded = [dict(zip([c.strip() for c in columns.split(',')],
                             next(csv.reader([values], quotechar="'", skipinitialspace=True))))
                    for columns, values in rows]
        next_mac = int(re.search(r'INSERT INTO mac_ranges .* VALUES \(\d+, \d+, (\d+)\);', text)[1])
        if SERVER:
            SERVER.sql_as(OWNER, statements, database(ledger))
            # As a line gave its stations the tables by hand before the tool could.
            SERVER.sql_as(OWNER, 'GRANT SELECT, INSERT, UPDATE ON ALL TABLES IN SCHEMA public TO stations',
                          database(ledger))
            before = dump(ledger)
            refused = self.cli('ledger', 'status', self.as_role(ledger, 's1'))
            self.assertEqual(refused.returncode, 2, refused.stderr)
            self.assertIn('its owner brings it up to date by opening it once', refused.stderr)
            self.assertEqual(dump(ledger), before)
        else:
            with sqlite3.connect(ledger) as made:
                made.executescript(statements)
        self.ok('ledger', 'status', ledger)
        version = (SERVER.sql('SELECT version FROM quorvix_ledger', database(ledger)).strip() if SERVER else
                   str(sqlite3.connect(ledger).execute('SELECT version FROM quorvix_ledger').fetchone()[0]))
        self.assertEqual(version, '4')
        units = self.units(ledger)
        by_id = {str(i): unit['mac'] for i, unit in enumerate(units, 1)}
        self.assertEqual(len(units), len(recorded))
        for unit, kept in zip(units, recorded):
            expected = {key: value for key, value in kept.items() if value != 'NULL' and key != 'replaced_by'}
            if kept['replaced_by'] != 'NULL':
                expected['replaced_by'] = by_id[kept['replaced_by']]
            self.assertEqual({key: unit.get(key) for key in [*expected, 'replaced_by', 'station_time', 'role']},
                             {'replaced_by': None, **expected, 'station_time': kept['time'], 'role': ''})
        histories = self.histories(ledger, [unit['mac'] for unit in units])
        for unit in units:
            change, = histories[unit['mac']]
            self.assertEqual((change['state_before'], change['state'], change['path'], change['station'],
                              change['note'], change['role']),
                             (None, unit['state'], unit['path'], unit['station'], 'as found', role(OWNER)))
        if SERVER:
            self.ok('ledger', 'grant', ledger, 'stations')
            # Nothing a station had by hand lets it around the history or the version.
            self.assert_refused(ledger, [case for case in STATION_STATEMENTS if case[0] in (
                'writing a history row', "moving the ledger's version on")], as_role='s1', privilege=True)
        path, = self.files(1)
        self.ok('assign', path, '--ledger', self.as_role(ledger, 's1'), '--station', 's1')
        self.assertEqual(fields_in(path.read_bytes())[0], f'{next_mac:012X}')


    def test_a_ledger_of_version_3_is_brought_up_to_date_by_its_owner_its_rules_kept_and_leases_added(self):
        fixture = Path(__file__).with_name(f'ledger_version3_{KIND}.sql').read_text()
        ledger = self.new_ledger('version3')
        if SERVER:
            SERVER.sql_as(OWNER, fixture, database(ledger))
            before = dump(ledger)
            refused = self.cli('ledger', 'status', self.as_role(ledger, 's1'))
            self.assertEqual(refused.returncode, 2, refused.stderr)
            self.assertEqual(dump(ledger), before)
        else:
            with sqlite3.connect(ledger) as made:
                made.executescript(fixture)
        self.ok('ledger', 'status', ledger)
        version = (SERVER.sql('SELECT version FROM quorvix_ledger', database(ledger)).strip() if SERVER else
                   str(sqlite3.connect(ledger).execute('SELECT version FROM quorvix_ledger').fetchone()[0]))
        self.assertEqual(version, '4')
        self.assertEqual([(u['mac'], u['state']) for u in self.units(ledger)],
                         [('001132000000', 'written'), ('001132000001', 'written')])
        kept = ("moving a MAC range's next back", 'a unit with values beyond the counters', "changing a unit's mac",
                'deleting a unit', 'deleting the history')
        self.assert_refused(ledger, [case for case in ROW_CHANGES if case[0] in kept])
        path, = self.files(1)
        if not SERVER:
            self.ok('assign', path, '--ledger', ledger, '--station', 's1')
            self.assertEqual(fields_in(path.read_bytes()), ('001132000002', 'QVX2612000003'))
            return
        self.ok('ledger', 'grant', ledger, 'stations')
        self.ok('assign', path, '--ledger', self.as_role(ledger, 's1'), '--station', 's1', '--lease', '4',
                '--lease-file', self.folder / 'lease.db')
        self.assertEqual(fields_in(path.read_bytes()), ('001132000002', 'QVX2612000003'))
        self.assertEqual(SERVER.sql('SELECT mac_first, mac_last, role FROM leases', database(ledger)).strip(),
                         f'{0x001132000003}|{0x001132000006}|s1')
        self.assert_refused(ledger, [('a leased value to a unit of no lease', [
            f"INSERT INTO units ({UNIT_COLUMNS}) VALUES ('001132000006', 'QVX2612000007', '/elsewhere', 'A', 'h', "
            "'2026-12-10T00:00:00Z', '2026-12-10T00:00:00Z', 'reserved', '001132ABCDEF', 'ABCDEFGHIJKLM')"],
            'a leased value goes to no unit but one made from its lease')], as_role='s1')


@unittest.skipUnless(KIND == 'postgresql', 'the server of a PostgreSQL ledger')
class Stations(RulesTest):
    """A line's owner and its stations' roles on one server."""

    def test_a_stations_role_does_all_of_a_stations_work_and_nothing_of_the_owners(self):
        ledger = self.made_ledger()
        station = self.as_role(ledger, 's1')
        again, left, taken = self.files(3)
        self.killed_after_its_write(station, left, '--station', 'A')
        self.killed_after_its_write(station, taken, '--station', 'B')
        report = self.folder / 'report.html'
        for args in [('assign', again, '--ledger', station, '--station', 'A'),
                     ('assign', again, '--ledger', station, '--station', 'A', '--reassign'),
                     ('ledger', 'reconcile', station, '--station', 'A'),
                     ('ledger', 'reconcile', station, taken),
                     ('ledger', 'status', station), ('ledger', 'status', station, '--json'),
                     ('ledger', 'list', station), ('ledger', 'find', station, '001132000000'),
                     ('ledger', 'export', station), ('ledger', 'report', station, '-o', report)]:
            with self.subTest(args[:2]):
                self.ok(*args)
        self.assertEqual([(u['path'], u['state'], u['role']) for u in self.units(ledger)],
                         [(str(left), 'written', 's1'), (str(taken), 'written', 's1'), (str(again), 'replaced', 's1'),
                          (str(again), 'written', 's1')])
        fresh = self.new_ledger('fresh')
        before = dump(ledger)
        for args in [('ledger', 'init', self.as_role(fresh, 's1'), '--mac-range', MACS, '--sn-range', SNS),
                     ('ledger', 'extend', station, '--mac-range', '001133000000-0011330000FF'),
                     ('ledger', 'grant', station, 's2')]:
            with self.subTest(args[:2]):
                result = self.cli(*args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn("only the ledger's owner", result.stderr)
        self.assertEqual(dump(ledger), before)
        self.assertEqual(SERVER.sql("SELECT count(*) FROM pg_class WHERE relnamespace = 'public'::regnamespace",
                                    database(fresh)).strip(), '0')

    def test_a_leased_value_goes_to_a_unit_of_its_own_lease_alone(self):
        ledger = self.made_ledger()
        path, = self.files(1)
        self.ok('assign', path, '--ledger', self.as_role(ledger, 's1'), '--station', 'A', '--lease', '4',
                '--lease-file', self.folder / 'lease.db')
        lease = SERVER.sql('SELECT lease FROM leases', database(ledger)).strip()
        # The unit took MAC 0 and SN 1; its lease MACs 1 to 4 and SNs 2 to 5, where the counters stand.
        base = 0x001132000000

        def unit(mac, sn, lease_id, request):
            return (f"INSERT INTO units ({UNIT_COLUMNS}, request, lease) VALUES ('{mac:012X}', 'QVX{sn}', "
                    "'/elsewhere', 'A', 'h', '2026-12-10T00:00:00Z', '2026-12-10T00:00:00Z', 'reserved', "
                    f"'001132ABCDEF', 'ABCDEFGHIJKLM', {request}, {lease_id})")

        def leased(first, last, sn_first, holder='session_user'):
            return ('INSERT INTO leases (lease, station, role, machine, mac_first, mac_last, sn_prefix, sn_width, '
                    f"sn_first, sn_last, time) VALUES ('{first}-{last}', 'A', {holder}, 'm', {base + first}, "
                    f"{base + last}, 'QVX', 10, {sn_first}, {sn_first + last - first}, '2026-12-10T00:00:00Z')")

        moved = ['UPDATE mac_ranges SET next = next + 2', 'UPDATE sn_ranges SET next = next + 2']
        of_lease = 'a unit made from a lease has its own id and values of that lease'
        self.assert_refused(ledger, [
            ("a leased value to a unit of no lease", [unit(base + 4, 2612000005, 'NULL', 'NULL')],
             'a leased value goes to no unit but one made from its lease'),
            ('a unit of the lease without its own id', [unit(base + 1, 2612000002, f"'{lease}'", 'NULL')], of_lease),
            ('a unit of the lease with values beyond it', [unit(base + 5, 2612000006, f"'{lease}'", "'r'")],
             of_lease),
            ('a unit of a lease there is not', [unit(base + 1, 2612000002, "'none'", "'r'")], of_lease),
            ('a lease of values leased already', [leased(1, 4, 2612000002)], "no other lease's"),
            ('a lease beyond the counters', [leased(10, 13, 2612000011)], "the ranges' counters just gave"),
            ("a lease over a unit's values", [*moved, leased(0, 6, 2612000001)], "no other lease's and no unit's"),
            ("a lease in another role's name", [*moved, leased(5, 6, 2612000006, "'s2'")],
             'held by the role that takes it'),
        ], as_role='s1')
        self.assert_refused(ledger, [("another role's unit from the lease",
                                      [unit(base + 2, 2612000003, f"'{lease}'", "'r'")], of_lease)], as_role='s2')
        self.assert_refused(ledger, [('changing a lease', ['UPDATE leases SET mac_last = mac_last + 1'],
                                      'a lease never changes'),
                                     ('deleting a lease', ['DELETE FROM leases'], KEPT)])
        # What a station does with its lease is let through.
        self.assertIsNone(run_sql(ledger, [unit(base + 1, 2612000002, f"'{lease}'", "'r'")], 's1'))
        self.assertIsNone(run_sql(ledger, [*moved, leased(5, 6, 2612000006)], 's1'))

    def test_a_lease_ends_once_given_back_by_its_holder_or_withdrawn_by_the_owner(self):
        ledger = self.made_ledger()
        path, = self.files(1)
        self.ok('assign', path, '--ledger', self.as_role(ledger, 's1'), '--station', 'A', '--lease', '4',
                '--lease-file', self.folder / 'lease.db')
        lease = SERVER.sql('SELECT lease FROM leases', database(ledger)).strip()
        base = 0x001132000000  # the unit took MAC 0 and SN 1; the lease MACs 1 to 4 and SNs 2 to 5

        def unit(mac, sn, lease_id, request=None):
            return (f"INSERT INTO units ({UNIT_COLUMNS}, request, lease) VALUES ('{mac:012X}', 'QVX{sn}', "
                    "'/elsewhere', 'A', 'h', '2026-12-10T00:00:00Z', '2026-12-10T00:00:00Z', 'reserved', "
                    f"'001132ABCDEF', 'ABCDEFGHIJKLM', {request or repr(f'r{mac}')}, {lease_id})")

        def ended(kind, used, lease_id=f"'{lease}'", role='session_user'):
            return (f"INSERT INTO lease_ends (lease, kind, used, role, time) VALUES ({lease_id}, '{kind}', {used}, "
                    f"{role}, '2026-12-10T00:00:00Z')")

        self.assertIsNone(run_sql(ledger, [unit(base + 1, 2612000002, f"'{lease}'")], 's1'))  # one used
        self.assert_refused(ledger, [
            ('a lease given back over a value its unit has', [ended('released', 0)], 'none of its units has'),
            ('a lease given back beyond its end', [ended('released', 5)], 'none of its units has'),
            ('a lease given back with no place', [ended('released', 'NULL')], 'none of its units has'),
            ('a lease withdrawn by a station', [ended('withdrawn', 'NULL')], "only the ledger's owner"),
            ('a lease there is not given back', [ended('released', 1, "'none'")], 'given back or withdrawn'),
            ('an end of another kind', [ended('forgotten', 1)], 'given back or withdrawn'),
            ("an end in another role's name", [ended('released', 1, role="'s2'")], 'given back or withdrawn'),
        ], as_role='s1')
        self.assert_refused(ledger, [("another role gives the lease back", [ended('released', 1)],
                                      'given back by the role that holds it')], as_role='s2')
        self.assertIsNone(run_sql(ledger, [ended('released', 1)], 's1'))
        # The values given back go to any unit, of no lease; not to the lease's own.
        self.assert_refused(ledger, [
            ('a lease ended twice', [ended('released', 2)], 'a lease ends once'),
            ('a given-back value to the lease', [unit(base + 2, 2612000003, f"'{lease}'")], 'not given back'),
        ], as_role='s1')
        self.assert_refused(ledger, [
            ('changing an end', ['UPDATE lease_ends SET used = 4'], "a lease's end never changes"),
            ('deleting an end', ['DELETE FROM lease_ends'], KEPT),
        ])
        self.assertIsNone(run_sql(ledger, [unit(base + 2, 2612000003, 'NULL', 'NULL')], 's2'))

    def test_a_station_may_not_change_the_database_the_ledger_is_in(self):
        ledger = self.ledger_with_units()
        self.assert_refused(ledger, STATION_STATEMENTS, as_role='s1', privilege=True)
        # The owner's rules are kept, yet the owner alone extends the ledger.
        self.ok('ledger', 'extend', ledger, '--mac-range', '001133000000-0011330000FF')
        self.assertEqual(json.loads(self.ok('ledger', 'status', ledger, '--json'))['ranges'][1]['first'],
                         '001133000000')

    def test_a_schema_open_to_everyone_is_closed_by_grant(self):
        ledger = self.new_ledger('open')
        SERVER.sql('GRANT CREATE ON SCHEMA public TO PUBLIC', database(ledger))
        self.ok('ledger', 'init', ledger, '--mac-range', MACS, '--sn-range', SNS)
        self.ok('ledger', 'grant', ledger, 'stations')
        self.assert_refused(ledger, [('CREATE TABLE', ['CREATE TABLE units2 (id BIGINT)'])], as_role='s1',
                            privilege=True)

    def test_stations_at_once_leave_each_unit_one_row_per_change(self):
        ledger = self.made_ledger()
        paths = self.files(80)

        def work(share):
            station = self.as_role(ledger, STATIONS[share % 2])
            for path in paths[share::8]:
                for _ in range(3):  # 3: nothing changed, try again
                    code = self.cli('assign', path, '--ledger', station, '--station', f'bench{share}').returncode
                    if code != 3:
                        break
                self.assertEqual(code, 0, path)

        with ThreadPoolExecutor(8) as pool:
            list(pool.map(work, range(8)))
        units = self.units(ledger)
        self.assertEqual(len(units), len(paths))
        histories = self.histories(ledger, [unit['mac'] for unit in units])
        for unit in units:
            self.assertEqual([(c['state_before'], c['state'], c['path'], c['station'], c['role'])
                              for c in histories[unit['mac']]],
                             [(None, 'reserved', unit['path'], unit['station'], unit['role']),
                              ('reserved', 'written', unit['path'], unit['station'], unit['role'])])
        self.assertEqual(SERVER.sql('SELECT count(*) FROM history', database(ledger)).strip(), str(2 * len(paths)))

    @unittest.skipUnless(FAKETIME, "faketime is not installed (the server package group's)")
    def test_a_stations_clock_ten_years_behind_is_named_and_never_the_units_time(self):
        ledger = self.made_ledger()
        right, behind = self.files(2)
        started = utc_now()
        self.ok('assign', right, '--ledger', self.as_role(ledger, 's2'), '--station', 'right')
        late = subprocess.run([FAKETIME, '-f', '-3650d', CLI, 'assign', str(behind), '--ledger',
                               self.as_role(ledger, 's1'), '--station', 'behind'], capture_output=True, text=True,
                              timeout=120, env={**os.environ, 'PGPASSWORD': PASSWORD})
        self.assertEqual(late.returncode, 0, late.stderr)
        ended = utc_now()
        unit = self.units(ledger)[1]
        self.assertEqual(unit['station'], 'behind')
        self.assertTrue(started <= unit['time'] <= ended, (started, unit['time'], ended))
        ten_years = 3650 * 86400
        station_clock = datetime.datetime.strptime(unit['station_time'], '%Y-%m-%dT%H:%M:%S%z')
        server_clock = datetime.datetime.strptime(unit['time'], '%Y-%m-%dT%H:%M:%S%z')
        self.assertLessEqual(abs((server_clock - station_clock).total_seconds() - ten_years), 5)
        exported = self.ok('ledger', 'export', ledger, '--since', started[:10])
        self.assertIn(unit['mac'], exported)
        status = json.loads(self.ok('ledger', 'status', ledger, '--json'))
        off, = status['clocks_off']
        self.assertEqual((off['station'], off['time'], off['station_time']),
                         ('behind', unit['time'], unit['station_time']))
        self.assertLessEqual(abs(off['seconds'] + ten_years), 5)
        said = re.findall(r"^station (\S+): its clock was (\d+) s (behind|ahead of) the ledger's on its latest unit",
                          self.ok('ledger', 'status', ledger), re.MULTILINE)
        self.assertEqual(said, [('behind', str(-off['seconds']), 'behind')])


if __name__ == '__main__':
    unittest.main(verbosity=2)
