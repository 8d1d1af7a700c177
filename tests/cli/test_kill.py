#!/usr/bin/env python3
"""quorvix-cli set killed at every system call it makes on its files (the
vendor file, the backup, the log and their folder), with strace's fault
injection: afterwards the vendor file is byte for byte the old file or the
fully written one, a backup under its own name is whole, and the log holds
only whole lines."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'tools'))
from make_sample_vendor import vendor_bytes, with_fields  # noqa: E402
sys.path.insert(0, str(Path(__file__).resolve().parent))
from traced_calls import calls_on  # noqa: E402

CLI = os.environ['QUORVIX_CLI']
STRACE = shutil.which('strace')


class KilledAtEveryCall(unittest.TestCase):
    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix='quorvix-kill-'))
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.original = vendor_bytes(mac='0102030405060F', sn='0000000000000', sn_check='000')

    def fresh(self):
        """The folder as before any call: the vendor file alone."""
        for path in self.folder.iterdir():
            path.unlink()
        (self.folder / 'vendor.bin').write_bytes(self.original)

    def calls_on_files(self, args):
        """Each system call of a whole run that names a file in the folder,
        as (name, N): the run's N-th call of that name."""
        self.fresh()
        trace = self.folder.parent / (self.folder.name + '.trace')
        self.addCleanup(trace.unlink, True)
        subprocess.run([STRACE, '-f', '-qq', '-y', '-s', '256', '-o', str(trace), CLI, *args], check=True,
                       capture_output=True, timeout=60)
        calls = calls_on(trace, self.folder)
        return calls

    def check_every_instant(self, args, written):
        args = ['set', str(self.folder / 'vendor.bin'), *args]
        calls = self.calls_on_files(args)
        self.assertGreater(len(calls), 5, 'the trace shows too few calls on the files')
        for name, nth in calls:
            with self.subTest(call=f'{name} #{nth}'):
                self.fresh()
                run = subprocess.run([STRACE, '-f', '-qq', '-o', os.devnull, '-e', f'trace={name}', '-e',
                                      f'inject={name}:signal=KILL:when={nth}', CLI, *args], capture_output=True,
                                     timeout=60)
                self.assertNotEqual(run.returncode, 0, 'the call was not killed')
                self.check_files(written)
        self.fresh()
        self.assertEqual(subprocess.run([CLI, *args], capture_output=True, timeout=60).returncode, 0)
        self.check_files(written, whole=True)

    def check_files(self, written, whole=False):
        now = (self.folder / 'vendor.bin').read_bytes()
        self.assertIn(now, (self.original, written) if not whole else (written,))
        for backup in self.folder.glob('vendor.bin.bak*'):
            self.assertEqual(backup.read_bytes(), self.original, f'{backup.name} is not a whole copy')
        # A killed backup leaves at most its hidden temporary copy, which nobody takes for a backup.
        for path in self.folder.iterdir():
            self.assertRegex(path.name, r'^(vendor\.bin(\.bak(\.\d+)?)?|log\.jsonl|\.vendor\.bin\.[0-9a-f]{8}\.tmp)$')
        log = self.folder / 'log.jsonl'
        if log.exists():
            text = log.read_text()
            self.assertTrue(text == '' or text.endswith('\n'), f'a partial log line: {text!r}')
            for line in text.splitlines():
                json.loads(line)

    def test_mac_only(self):
        self.check_every_instant(['--mac', '00113200AA01'], with_fields(self.original, mac='00113200AA01EE'))

    def test_sn_only(self):
        self.check_every_instant(['--sn', 'QVX2612000001'],
                                 with_fields(self.original, sn='QVX2612000001', sn_check='747'))

    def test_both_with_backup_and_log(self):
        for extra in ([], ['--backup', '--log', str(self.folder / 'log.jsonl')]):
            with self.subTest(extra=extra):
                self.check_every_instant(['--mac', '00113200AA01', '--sn', 'QVX2612000001', *extra],
                                         with_fields(self.original, mac='00113200AA01EE', sn='QVX2612000001',
                                                     sn_check='747'))


if __name__ == '__main__':
    unittest.main(verbosity=2)
