#!/usr/bin/env python3
"""quorvix-cli.exe under Wine: show, check and set on a file in a folder with
Chinese names, named as Windows names it, and assign from ledgers. Where the
exe runs emulated (i686 under qemu-i386), only the smoke case runs: one set,
its bytes compared. The class to run is named on the command line: WindowsCli,
ServerLedger for the ledger on a PostgreSQL server, or Printing for labels
read back and printed."""
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / 'e2e'))
sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'tools'))
from runs_here import EMULATED, PACE  # noqa: E402  (first: a suite that does not run here ends at once)
import session  # noqa: E402
from make_sample_vendor import vendor_bytes, with_fields  # noqa: E402
from probe_client import wine_path  # noqa: E402
from print_server import Cups, LabelPrinter, host_status  # noqa: E402

EXE = os.environ['QUORVIX_CLI_EXE']
LOADER = os.environ['QUORVIX_WINE_LOADER']
STATE = Path(os.environ['QUORVIX_E2E_STATE'])


class InWine:
    """A vendor file in a folder with Chinese names, and the exe to run on it."""

    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix='quorvix-cli-wine-')) / '工具' / '固件 v2'
        self.folder.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.folder.parents[1], True)
        self.vendor = self.folder / 'vendor.bin'
        self.original = vendor_bytes(mac='0102030405060F')  # a stale MAC check
        self.vendor.write_bytes(self.original)

    def run_exe(self, *args, env=None):
        env = {**session.wine_env(STATE, (STATE / 'display').read_text()), **(env or {})}
        return subprocess.run([LOADER, EXE, *args], capture_output=True, env=env, stdin=subprocess.DEVNULL,
                              timeout=120 * PACE)


class WindowsCli(InWine, unittest.TestCase):
    def test_smoke_set(self):
        path = wine_path(self.vendor)
        written = self.run_exe('set', path, '--sn', 'abcdefghijklm')
        self.assertEqual(written.returncode, 0, written.stderr)
        self.assertEqual(self.vendor.read_bytes(), with_fields(self.original, sn='ABCDEFGHIJKLM', sn_check='923'))

    @unittest.skipIf(EMULATED, 'the exe runs emulated: only the smoke case runs')
    def test_show_check_and_set(self):
        path = wine_path(self.vendor)
        shown = self.run_exe('show', '--json', path)
        self.assertEqual(shown.returncode, 0, shown.stderr)
        line = json.loads(shown.stdout.decode('utf-8'))
        self.assertEqual((line['path'], line['mac'], line['consistent']), (path, '010203040506', False))
        self.assertEqual(self.run_exe('check', path).returncode, 1)
        self.assertEqual(self.run_exe('check', path, wine_path(self.folder / 'missing.bin')).returncode, 2)

        written = self.run_exe('set', path, '--mac', '00:11:32:AB:CD:EF', '--sn', 'mmmmmmmmmmmmm', '--backup')
        self.assertEqual(written.returncode, 0, written.stderr)
        self.assertIn('固件 v2', written.stdout.decode('utf-8'), written.stderr.decode('utf-8'))
        want = bytearray(self.original)
        want[0:7] = bytes.fromhex('001132ABCDEFAA')
        want[35:48], want[53:56] = b'MMMMMMMMMMMMM', b'100'
        self.assertEqual(self.vendor.read_bytes(), bytes(want))
        self.assertEqual((self.folder / 'vendor.bin.bak').read_bytes(), self.original)
        self.assertEqual(self.run_exe('check', path).returncode, 0)


    @unittest.skipIf(EMULATED, 'the exe runs emulated: only the smoke case runs')
    def test_a_path_that_begins_with_a_slash_is_a_path(self):
        # /tmp/... is on the current drive, Z:, where Wine shows the Unix root.
        for path in (str(self.vendor), wine_path(self.vendor)):
            with self.subTest(path=path):
                shown = self.run_exe('show', '--json', path)
                self.assertEqual(shown.returncode, 0, shown.stderr.decode('utf-8'))
                line = json.loads(shown.stdout.decode('utf-8'))
                self.assertEqual((line['path'], line['mac']), (path, '010203040506'))

    @unittest.skipIf(EMULATED, 'the exe runs emulated: only the smoke case runs')
    def test_assign_from_an_sqlite_ledger(self):
        ledger = wine_path(self.folder / 'line.db')
        made = self.run_exe('ledger', 'init', ledger, '--mac-range', '001132000000-0011320003FF', '--sn-range',
                            'QVX2612000001-QVX2612009999')
        self.assertEqual(made.returncode, 0, made.stderr)
        second = self.folder / 'second.bin'
        second.write_bytes(self.original)
        for path in (self.vendor, second):
            assigned = self.run_exe('assign', wine_path(path), '--ledger', ledger, '--station', '工位 1', '--json')
            self.assertEqual(assigned.returncode, 0, assigned.stderr)
        unit = json.loads(assigned.stdout.decode('utf-8'))
        self.assertEqual((unit['mac'], unit['sn'], unit['station'], unit['path']),
                         ('001132000001', 'QVX2612000002', '工位 1', wine_path(second)))
        self.assertEqual(second.read_bytes(), with_fields(self.original, mac='00113200000144', sn='QVX2612000002',
                                                          sn_check='748'))
        status = json.loads(self.run_exe('ledger', 'status', ledger, '--json').stdout.decode('utf-8'))
        self.assertEqual(status['units'], {'reserved': 0, 'written': 2, 'failed': 0, 'replaced': 0})
        # The supervisor's commands, on Windows too.
        found = self.run_exe('ledger', 'find', ledger, '00:11:32:00:00:01', '--json')
        self.assertEqual(json.loads(found.stdout.decode('utf-8'))['path'], wine_path(second))
        exported, report = self.folder / 'units.csv', self.folder / 'report.html'
        self.assertEqual(self.run_exe('ledger', 'export', ledger, '-o', wine_path(exported)).returncode, 0)
        self.assertEqual(exported.read_text(encoding='utf-8').splitlines()[2].split(',')[:4],
                         ['001132000001', 'QVX2612000002', 'written', '工位 1'])
        self.assertEqual(self.run_exe('ledger', 'report', ledger, '-o', wine_path(report)).returncode, 0)
        self.assertIn('工位 1', report.read_text(encoding='utf-8'))
        # SQLite's locks do not hold on a network share: such a ledger is refused.
        refused = self.run_exe('assign', wine_path(self.vendor), '--ledger', r'\\server\share\line.db')
        self.assertEqual(refused.returncode, 2)
        self.assertIn('network file system', refused.stderr.decode('utf-8'))


class Printing(InWine, unittest.TestCase):
    """label under Wine: a PNG read back by zbarimg; --print through Windows'
    spooler, which Wine hands to a throwaway CUPS server (its winspool lists
    the server's queues), and to a network label printer through Winsock.
    The x86_64 exe only: Wine's 32-bit spooler would need a 32-bit libcups."""

    def setUp(self):
        super().setUp()
        self.vendor.write_bytes(vendor_bytes())  # 001132ABCDEF and ABCDEFGHIJKLM, their checks right

    def written(self, suffix):
        out = self.folder / f'label.{suffix}'
        done = self.run_exe('label', wine_path(self.vendor), '-o', wine_path(out))
        self.assertEqual(done.returncode, 0, done.stderr.decode('utf-8'))
        return out

    def assert_reads(self, image):
        codes = subprocess.run(['zbarimg', '-q', '--raw', '-Sdisable', '-Scode128.enable', image],
                               capture_output=True).stdout
        self.assertEqual(sorted(codes.splitlines()), [b'001132ABCDEF', b'ABCDEFGHIJKLM'])

    @unittest.skipIf(EMULATED, 'the exe runs emulated: only the smoke case runs')
    def test_png_label_reads_back(self):
        self.assert_reads(self.written('png'))

    @unittest.skipIf(EMULATED, 'the exe runs emulated: only the smoke case runs')
    def test_unknown_printer_in_windows_words(self):
        for extra in ([], ['--format', 'png']):
            with self.subTest(extra=extra):
                done = self.run_exe('label', wine_path(self.vendor), '--print', 'NoSuchPrinter', *extra)
                self.assertEqual(done.returncode, 1, done.stderr)
                said = done.stderr.decode('utf-8')
                self.assertRegex(said, r'^quorvix-cli: error: .*vendor\.bin: not printed on NoSuchPrinter: \S')
                self.assertIn('printer name', said.lower())  # ERROR_INVALID_PRINTER_NAME, as Windows words it
                self.assertEqual(done.stdout, b'')

    @unittest.skipIf(EMULATED, 'the exe runs emulated: only the smoke case runs')
    def test_printed_through_the_spooler(self):
        cups = Cups()
        self.addCleanup(cups.remove)
        printer = LabelPrinter()
        self.addCleanup(printer.close)
        cups.queue('zebra', printer.port)
        zpl = self.written('zpl').read_bytes()
        for extra in ([], ['--format', 'png']):
            done = self.run_exe('label', wine_path(self.vendor), '--print', 'zebra', *extra, env=cups.env)
            self.assertEqual(done.returncode, 0, done.stderr.decode('utf-8'))
            self.assertRegex(done.stdout.decode(), r'^printed 001132ABCDEF on zebra: job \d+\n$')
        raw, page = printer.wait_for(2)
        # ZPL as a RAW document: the printer gets the very bytes -o writes.
        self.assertTrue(raw == zpl, 'the RAW job is not the ZPL label -o writes')
        # PNG drawn on the page: Wine's driver makes PostScript of it, which
        # Ghostscript renders; the label reads back at its own size, 50x25 mm.
        (self.folder / 'page.ps').write_bytes(page)
        rendered = self.folder / 'page.png'
        subprocess.run(['gs', '-q', '-dSAFER', '-dNOPAUSE', '-dBATCH', '-sDEVICE=pnggray', '-r300',
                        f'-sOutputFile={rendered}', self.folder / 'page.ps'], check=True, capture_output=True)
        self.assert_reads(rendered)
        box = subprocess.run(['gs', '-q', '-dSAFER', '-dNOPAUSE', '-dBATCH', '-sDEVICE=bbox', self.folder / 'page.ps'],
                             capture_output=True, text=True).stderr
        left, bottom, right, top = map(float, re.search(r'%%HiResBoundingBox: (\S+) (\S+) (\S+) (\S+)', box).groups())
        self.assertAlmostEqual((right - left) * 25.4 / 72, 50, delta=0.5)
        self.assertAlmostEqual((top - bottom) * 25.4 / 72, 25, delta=0.5)

    @unittest.skipIf(EMULATED, 'the exe runs emulated: only the smoke case runs')
    def test_network_printer_through_winsock(self):
        zpl = self.written('zpl').read_bytes()
        for status, code, arrived, said in ((host_status(), 0, b'~HS' + zpl, 'printed 001132ABCDEF'),
                                            (host_status('ribbon out'), 1, b'~HS', 'ribbon out')):
            with self.subTest(said=said):
                printer = LabelPrinter(status)
                self.addCleanup(printer.close)
                done = self.run_exe('label', wine_path(self.vendor), '--print', f'socket://127.0.0.1:{printer.port}')
                self.assertEqual(done.returncode, code, done.stderr.decode('utf-8'))
                self.assertIn(said, (done.stdout + done.stderr).decode('utf-8'))
                self.assertTrue(printer.wait_for(1) == [arrived], 'the printer got other bytes')
        with socket.socket() as taken:  # bound, not listening: Winsock's own words for a refusal
            taken.bind(('127.0.0.1', 0))
            done = self.run_exe('label', wine_path(self.vendor), '--print', f'socket://127.0.0.1:{taken.getsockname()[1]}')
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertRegex(done.stderr.decode('utf-8'), r'not printed on socket://127\.0\.0\.1:\d+: 127\.0\.0\.1:\d+: \S')


class ServerLedger(InWine, unittest.TestCase):
    """The x86_64 exe only: Wine's odbc32 would hand a 32-bit exe to a 32-bit
    unixODBC and driver, which are not installed."""

    def test_assign_from_a_postgresql_server_through_wines_odbc(self):
        from postgres_server import Postgres  # Wine's odbc32 passes calls on to the host's unixODBC and driver
        server = Postgres()
        self.addCleanup(server.remove)
        server.database('line')
        # The ledger and its password come from the environment, as on a line's station.
        named = {'QUORVIX_LEDGER': server.url('line', password=None), 'PGPASSWORD': 's3cret'}
        made = self.run_exe('ledger', 'init', '--mac-range', '001132000000-0011320003FF', '--sn-range',
                            'QVX2612000001-QVX2612009999', env=named)
        self.assertEqual(made.returncode, 0, made.stderr)
        assigned = self.run_exe('assign', wine_path(self.vendor), '--station', '工位 2', '--json', env=named)
        self.assertEqual(assigned.returncode, 0, assigned.stderr)
        unit = json.loads(assigned.stdout.decode('utf-8'))
        self.assertEqual((unit['mac'], unit['station'], unit['path'], unit['result']),
                         ('001132000000', '工位 2', wine_path(self.vendor), 'written'))
        self.assertEqual(self.vendor.read_bytes(), with_fields(self.original, mac='00113200000043', sn='QVX2612000001',
                                                               sn_check='747'))
        kept = server.sql("SELECT station || ' ' || path FROM units", 'line').strip()
        self.assertEqual(kept, f'工位 2 {wine_path(self.vendor)}')

    def test_a_station_cut_off_programs_from_its_lease_and_sync_sends_the_unit(self):
        from postgres_server import Postgres
        server = Postgres()
        self.addCleanup(server.remove)
        server.database('line')
        named = {'QUORVIX_LEDGER': server.url('line', password=None), 'PGPASSWORD': 's3cret'}
        station = ('--station', '工位 3', '--lease-file', wine_path(self.folder / '租约' / 'lease.db'))
        made = self.run_exe('ledger', 'init', '--mac-range', '001132000000-0011320003FF', '--sn-range',
                            'QVX2612000001-QVX2612009999', env=named)
        self.assertEqual(made.returncode, 0, made.stderr)
        taken = self.run_exe('assign', wine_path(self.vendor), *station, '--lease', '4', env=named)
        self.assertEqual(taken.returncode, 0, taken.stderr)
        cut_off = self.folder / 'cut off.bin'
        cut_off.write_bytes(self.original)
        server.stop('immediate')
        try:
            leased = self.run_exe('assign', wine_path(cut_off), *station, '--lease', '4', env=named)
        finally:
            server.start()
        self.assertEqual(leased.returncode, 0, leased.stderr)
        self.assertIn('recorded on this station', leased.stderr.decode('utf-8'))
        # The lease's first value: the first unit took the lease with it.
        self.assertEqual(cut_off.read_bytes(), with_fields(self.original, mac='00113200000144', sn='QVX2612000002',
                                                           sn_check='748'))
        synced = self.run_exe('ledger', 'sync', *station, env=named)
        self.assertEqual((synced.returncode, synced.stdout), (0, b'1 units sent\n'), synced.stderr)
        kept = server.sql("SELECT station || ' ' || path || ' ' || state FROM units WHERE lease IS NOT NULL "
                          "AND mac = '001132000001'", 'line').strip()
        self.assertEqual(kept, f'工位 3 {wine_path(cut_off)} written')
        # A lease file on a network share is refused, as an SQLite ledger there is.
        shared = self.run_exe('assign', wine_path(self.vendor), '--station', '工位 3', '--lease', '4', '--lease-file',
                              r'\\server\share\lease.db', env=named)
        self.assertEqual(shared.returncode, 2, shared.stderr)
        self.assertIn('network file system', shared.stderr.decode('utf-8'))
        released = self.run_exe('ledger', 'release', *station, env=named)
        self.assertEqual((released.returncode, released.stdout), (0, b'0 units sent; 1 leases given back\n'),
                         released.stderr)


if __name__ == '__main__':
    unittest.main(verbosity=2)
