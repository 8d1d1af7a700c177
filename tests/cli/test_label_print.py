#!/usr/bin/env python3
"""quorvix-cli label --print: through a real CUPS server the test starts
(Debian's cupsd, raw queues, CUPS's own socket backend) to a label printer
the test plays, and straight to such a printer as socket://HOST:PORT, which
is asked its status first. What arrives is compared byte for byte with the
label -o writes; a printer that is not ready, unknown or unreachable gets
nothing, and the tool says why in the words of CUPS, the system or the
printer, with exit code 1."""
import errno
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from print_server import Cups, LabelPrinter, host_status  # noqa: E402
from test_label import VALUES, vendor_file  # noqa: E402

CLI = os.environ['QUORVIX_CLI']


class Labels:
    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix='quorvix-print-'))
        self.addCleanup(shutil.rmtree, self.folder, True)

    def vendor(self, mac, sn):
        path = self.folder / f'{mac}.bin'
        path.write_bytes(vendor_file(mac, sn))
        return path

    def label(self, *args, code=0, env=None):
        done = subprocess.run([CLI, 'label', *map(str, args)], capture_output=True, timeout=60, env=env)
        self.assertEqual(done.returncode, code, done.stderr.decode(errors='replace'))
        return done

    def written(self, path, suffix):
        """The label -o writes for the file, to compare with what a printer got."""
        out = self.folder / f'written.{suffix}'
        self.label(path, '-o', out)
        return out.read_bytes()


class CupsQueue(Labels, unittest.TestCase):
    """One cupsd for the class; a queue per label printer."""

    @classmethod
    def setUpClass(cls):
        cls.cups = Cups()
        cls.addClassCleanup(cls.cups.remove)  # also when the queue cannot be made
        cls.printer = LabelPrinter()
        cls.addClassCleanup(cls.printer.close)
        cls.cups.queue('zebra', cls.printer.port)

    def print_on(self, printer, *args, code=0):
        self.seen = len(self.printer.connections)
        return self.label(*args, '--print', printer, code=code, env=self.cups.env)

    def jobs_arrive(self, *labels):
        """The printer's connections since the last print_on, one per label, their bytes each label's."""
        arrived = self.printer.wait_for(self.seen + len(labels))[self.seen:]
        self.assertEqual(len(arrived), len(labels), self.cups.log())
        self.assertTrue(arrived == list(labels), 'the printer got other bytes than label -o writes')

    def test_zpl_and_png_arrive_exactly(self):
        path = self.vendor(*VALUES[2])  # an SN with ^, ~, _ and >, which ZPL gives meanings to
        for extra, suffix in (([], 'zpl'), (['--format', 'png'], 'png'), (['--format', 'zpl'], 'zpl')):
            with self.subTest(suffix=suffix, extra=extra):
                done = self.print_on('zebra', path, *extra)
                self.assertRegex(done.stdout.decode(), rf'^printed {VALUES[2][0]} on zebra: job zebra-\d+\n$')
                self.jobs_arrive(self.written(path, suffix))

    def test_several_files_one_job_each_in_order(self):
        paths = [self.vendor(mac, sn) for mac, sn in VALUES]
        done = self.print_on('zebra', *paths)
        lines = done.stdout.decode().splitlines()
        self.assertEqual([line.split()[1] for line in lines], [mac for mac, _ in VALUES])
        jobs = [int(re.fullmatch(r'printed \w+ on zebra: job zebra-(\d+)', line).group(1)) for line in lines]
        self.assertEqual(jobs, sorted(set(jobs)))
        self.jobs_arrive(*(self.written(path, 'zpl') for path in paths))

    def test_refused_by_cups_in_its_words(self):
        refusing = LabelPrinter()
        self.addCleanup(refusing.close)
        self.cups.queue('refusing', refusing.port)
        self.cups.run('cupsreject', 'refusing')
        path = self.vendor(*VALUES[0])
        for printer, said in (('nosuch', 'The printer or class does not exist.'),
                              ('refusing', 'is not accepting jobs')):
            with self.subTest(printer=printer):
                done = self.print_on(printer, path, code=1)
                self.assertEqual(done.stdout, b'')
                self.assertIn(f'not printed on {printer}: ', done.stderr.decode())
                self.assertIn(said, done.stderr.decode())
        time.sleep(1)
        self.assertEqual(refusing.connections, [])

    def test_server_out_of_reach(self):
        # A server that accepts and never answers costs the tool's bounded wait, not a hung line.
        silent = socket.socket(socket.AF_UNIX)
        self.addCleanup(silent.close)
        silent.bind(str(self.folder / 'silent.sock'))
        silent.listen(8)
        path = self.vendor(*VALUES[0])
        for server, said in (('none.sock', f'not printed on zebra: the print server {self.folder}/none.sock: [A-Z]'),
                             ('silent.sock', f'not printed on zebra: {os.strerror(errno.ETIMEDOUT)}')):
            with self.subTest(server=server):
                started = time.monotonic()
                done = self.label(path, '--print', 'zebra', code=1,
                                  env={**os.environ, 'CUPS_SERVER': str(self.folder / server)})
                self.assertLess(time.monotonic() - started, 15)
                self.assertRegex(done.stderr.decode(), said)

    def test_without_cups_library(self):
        # libcups hidden by an empty file over it, in a mount namespace of the tool's own.
        library = subprocess.run(['sh', '-c', 'ldconfig -p | sed -n "s/^.*libcups.so.2 .*=> //p" | head -n 1'],
                                 capture_output=True, text=True).stdout.strip()
        hidden = subprocess.run(['unshare', '-m', 'sh', '-c', f'mount --bind /dev/null {library} && "$@"', 'sh',
                                 CLI, 'label', self.vendor(*VALUES[0]), '--print', 'zebra'],
                                capture_output=True, env=self.cups.env)
        if hidden.returncode != 1 and b'mount' in hidden.stderr:
            self.skipTest(f'no mount namespace here: {hidden.stderr.decode(errors="replace")}')
        self.assertEqual(hidden.returncode, 1, hidden.stderr)
        self.assertIn(b"CUPS's library is not installed (Debian: libcups2): ", hidden.stderr)


class SocketPrinter(Labels, unittest.TestCase):
    def printer(self, status):
        printer = LabelPrinter(status)
        self.addCleanup(printer.close)
        return printer, f'socket://127.0.0.1:{printer.port}'

    def test_ready_printer_gets_the_zpl(self):
        for mac, sn in VALUES[:2]:
            with self.subTest(mac=mac):
                printer, address = self.printer(host_status())
                path = self.vendor(mac, sn)
                done = self.label(path, '--print', address)
                self.assertEqual(done.stdout.decode(),
                                 f'printed {mac} on {address}: sent to 127.0.0.1:{printer.port}\n')
                self.assertEqual(printer.wait_for(1), [b'~HS' + self.written(path, 'zpl')])

    def test_printer_not_ready_gets_nothing(self):
        cases = [
            (['paper out'], 'paper out'),
            (['ribbon out'], 'ribbon out'),
            (['head open'], 'head open'),
            (['paused'], 'paused'),
            (['paper out', 'head open'], 'paper out, head open'),
        ]
        path = self.vendor(*VALUES[0])
        for reasons, said in cases:
            with self.subTest(reasons=reasons):
                printer, address = self.printer(host_status(*reasons))
                done = self.label(path, '--print', address, code=1)
                self.assertIn(f'the printer is not ready: {said}; no label was sent', done.stderr.decode())
                self.assertEqual(done.stdout, b'')
                self.assertEqual(printer.wait_for(1), [b'~HS'])

    def test_unreadable_or_no_status_gets_nothing(self):
        cases = [
            (b'\x02garbage\x03\r\n\x02more\x03\r\n\x02end\x03\r\n', 'not a host status of three strings'),
            (host_status().replace(b'030,0,0', b'030,X,0'), 'a flag reads "X"'),
            (b'?', 'not a host status of three strings'),  # and then silence
            (b'', 'its status (~HS): no answer within 5 s'),
        ]
        path = self.vendor(*VALUES[0])
        for status, said in cases:
            with self.subTest(said=said):
                printer, address = self.printer(status)
                started = time.monotonic()
                done = self.label(path, '--print', address, code=1)
                self.assertLess(time.monotonic() - started, 10)
                self.assertIn(said, done.stderr.decode())
                self.assertEqual(printer.wait_for(1), [b'~HS'])

    def test_labels_stop_at_the_first_refused(self):
        paths = [self.vendor(mac, sn) for mac, sn in VALUES[:3]]
        printer, address = self.printer([host_status(), host_status('paper out'), host_status()])
        done = self.label(*paths, '--print', address, code=1)
        self.assertEqual(done.stdout.decode(), f'printed {VALUES[0][0]} on {address}: sent to 127.0.0.1:{printer.port}\n')
        self.assertIn(f'{paths[1]}: not printed on {address}: ', done.stderr.decode())
        self.assertIn('paper out', done.stderr.decode())
        # The third label never went: after the refusal the printer was not asked again.
        self.assertEqual(printer.wait_for(2), [b'~HS' + self.written(paths[0], 'zpl'), b'~HS'])
        time.sleep(0.5)
        self.assertEqual(len(printer.connections), 2)

    def test_unreachable(self):
        with socket.socket() as taken:
            taken.bind(('127.0.0.1', 0))
            port = taken.getsockname()[1]  # bound, not listening: refused
            done = self.label(self.vendor(*VALUES[0]), '--print', f'socket://127.0.0.1:{port}', code=1)
        self.assertIn(f'127.0.0.1:{port}: {os.strerror(errno.ECONNREFUSED)}', done.stderr.decode())

    def test_usage_refused_before_any_connection(self):
        printer, address = self.printer(host_status())
        path = self.vendor(*VALUES[0])
        cases = [
            (['--print', address, '--format', 'png'], 'takes ZPL only'),
            (['--print', address, '--format', 'svg'], 'print ZPL or PNG'),
            (['--print', 'socket://127.0.0.1:99999'], 'socket://HOST:PORT'),
            (['--print', 'socket://'], 'socket://HOST:PORT'),
            (['--print', address, '-o', self.folder / 'x.zpl'], 'excludes'),
            ([], '-o OUT or --print PRINTER'),
        ]
        for args, said in cases:
            with self.subTest(args=args):
                done = self.label(path, *args, code=2)
                self.assertIn(said, done.stderr.decode())
        time.sleep(0.5)
        self.assertEqual(printer.connections, [])
        self.assertFalse((self.folder / 'x.zpl').exists())


if __name__ == '__main__':
    unittest.main(verbosity=2)
