#!/usr/bin/env python3
"""quorvix-cli on real temporary files: exit codes, JSON, exactly the field
bytes written, refusals, backups, log lines, failures and restores."""
import json
import re
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'tools'))
sys.path.insert(0, str(Path(__file__).resolve().parent))  # also under python3 -m unittest
from make_sample_vendor import vendor_bytes, with_fields as expected  # noqa: E402
from as_nobody import AS_NOBODY, runnable_by_nobody  # noqa: E402

CLI = os.environ['QUORVIX_CLI']
FAULTY_CLI = os.environ['QUORVIX_FAULTY_CLI']


class Cli(unittest.TestCase):
    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix='quorvix-cli-'))
        self.addCleanup(shutil.rmtree, self.folder, True)

    def put(self, name, data):
        path = self.folder / name
        path.write_bytes(bytes(data))
        return path

    def run_cli(self, *args, cli=CLI, env=None, prefix=()):
        return subprocess.run([*prefix, cli, *map(str, args)], capture_output=True, text=True, env=env, timeout=60)

    def log_lines(self):
        return [json.loads(line) for line in (self.folder / 'log.jsonl').read_text().splitlines()]


class Reading(Cli):
    def test_json_keys_and_values_for_crafted_files(self):
        unprintable = vendor_bytes(sn='ABCDEFGHIJKLM')
        unprintable[37], unprintable[54] = 0x00, 0xC3
        files = {
            'good.bin': (vendor_bytes(), {
                'ok': True, 'mac': '001132ABCDEF', 'mac_check': 'AA', 'mac_check_expected': 'AA',
                'sn': 'ABCDEFGHIJKLM', 'sn_check': '923', 'sn_hex': '4142434445464748494A4B4C4D',
                'sn_check_hex': '393233', 'sn_check_expected': '923', 'consistent': True}),
            'stale-mac.bin': (vendor_bytes(mac='0011320000000F'), {
                'mac': '001132000000', 'mac_check': '0F', 'mac_check_expected': '43', 'consistent': False}),
            'four-digits.bin': (vendor_bytes(sn='MMMMMMMMMMMMM', sn_check='100'), {
                'sn_check': '100', 'sn_check_expected': '100', 'consistent': True}),
            'stale-sn.bin': (vendor_bytes(sn='MMMMMMMMMMMMM', sn_check='001'), {
                'sn_check_expected': '100', 'consistent': False}),
            'unprintable.bin': (unprintable, {
                'sn': 'AB\ufffdDEFGHIJKLM', 'sn_check': '9\ufffd3', 'sn_hex': '4142004445464748494A4B4C4D',
                'sn_check_hex': '39C333', 'sn_check_expected': '856', 'consistent': False}),
            'short.bin': (vendor_bytes(size=65535), {'ok': False}),
        }
        paths = [self.put(name, data) for name, (data, _) in files.items()] + [self.folder / 'missing.bin']
        result = self.run_cli('show', '--json', *paths)
        self.assertEqual(result.returncode, 2)
        lines = [json.loads(line) for line in result.stdout.splitlines()]
        self.assertEqual([line['path'] for line in lines], [str(p) for p in paths])  # argument order
        self.assertEqual(list(lines[0]), ['path', 'ok', 'mac', 'mac_check', 'mac_check_expected', 'sn', 'sn_check',
                                          'sn_hex', 'sn_check_hex', 'sn_check_expected', 'consistent'])
        for line, (name, (_, want)) in zip(lines, files.items()):
            with self.subTest(name):
                self.assertEqual({key: line[key] for key in want}, want)
        self.assertEqual(list(lines[-2]), ['path', 'ok', 'error'])
        self.assertIn('65,536', lines[-2]['error'])
        self.assertIn('No such file', lines[-1]['error'])
        self.assertIn('missing.bin', result.stderr)

    def test_exit_codes_say_the_verdict(self):
        good = self.put('good.bin', vendor_bytes())
        stale = self.put('stale.bin', vendor_bytes(mac='00113200000000'))
        small = self.put('small.bin', bytes(1000))
        for args, code in ((('show', good, stale), 0), (('show', good, small), 2), (('check', good), 0),
                           (('check', good, stale), 1), (('check', stale, small), 2), (('check', '--json', stale), 1),
                           (('--help',), 0), (('--version',), 0), (('show',), 2), (('frobnicate', good), 2),
                           (('set', good, '--colour', 'red'), 2)):
            with self.subTest(args=args):
                self.assertEqual(self.run_cli(*args).returncode, code)
        self.assertEqual(self.run_cli('--version').stdout, 'quorvix-cli 3.0\n')

    def test_results_that_cannot_be_written_are_an_error(self):
        good = self.put('good.bin', vendor_bytes())
        with open('/dev/full', 'w') as full:
            result = subprocess.run([CLI, 'check', str(good)], stdout=full, stderr=subprocess.PIPE, text=True,
                                    timeout=60)
        self.assertEqual(result.returncode, 2)
        self.assertRegex(result.stderr, r'^quorvix-cli: error: standard output: ')

    def test_messages_name_their_kind_and_file(self):
        result = self.run_cli('check', self.folder / 'missing.bin')
        self.assertEqual(result.stderr, f'quorvix-cli: error: {self.folder / "missing.bin"}: No such file or directory\n')
        good = self.put('good.bin', vendor_bytes())
        result = self.run_cli('set', good, '--mac', '01005E000001')
        self.assertEqual(result.stderr, f'quorvix-cli: warning: {good}: the MAC is a multicast address\n')

    def test_the_readme_lists_the_exit_codes_the_help_gives(self):
        help_text = self.run_cli('--help').stdout
        codes = [line.strip() for line in help_text[help_text.index('Exit codes:'):].strip().splitlines()]
        readme = [line.strip() for line in (Path(__file__).resolve().parents[2] / 'README.md').read_text().splitlines()]
        start = readme.index('Exit codes:')
        self.assertEqual(readme[start:start + len(codes)], codes)

    def test_the_user_guide_lists_every_command_and_its_options(self):
        """The guide shipped in the zips is a Windows user's help besides --help:
        its synopsis names every command --help-all has, and each command
        outside ledger with every option its help gives."""
        help_all = self.run_cli('--help-all').stdout
        commands = set(re.findall(r'^quorvix-cli ([a-z ]+):$', help_all, re.MULTILINE))
        guide = (Path(__file__).resolve().parents[2] / 'docs' / 'user-guide.txt').read_text()
        synopsis = re.findall(r'^  quorvix-cli ((?:ledger )?[a-z|]+)(.*(?:\n {20,}\[.*)*)', guide, re.MULTILINE)
        listed, options = set(), {}
        for names, rest in synopsis:
            group, _, names = names.rpartition(' ')
            for name in names.split('|'):
                command = f'{group} {name}'.strip()
                listed.add(command)
                options.setdefault(command, set()).update(
                    '--output' if o == '-o' else o for o in re.findall(r'--[a-z-]+|-o\b', rest))
        self.assertEqual(listed, commands)
        for command in sorted(commands - {c for c in commands if c.startswith('ledger ')}):
            with self.subTest(command=command):
                text = self.run_cli(*command.split(), '--help').stdout
                named = set(re.findall(r'^ +(?:-\w,)?(--[a-z-]+)', text, re.MULTILINE)) - {'--help', '--help-all'}
                self.assertEqual(options[command], named)


class Writing(Cli):
    def setUp(self):
        super().setUp()
        self.original = vendor_bytes(mac='0102030405060F', sn='0000000000000', sn_check='000')
        self.vendor = self.put('vendor.bin', self.original)

    def test_set_writes_exactly_the_field_bytes(self):
        cases = [
            (['--mac', '00:11:32:ab:cd:ef'], expected(self.original, mac='001132ABCDEFAA')),
            (['--sn', 'abcdefghijklm'], expected(self.original, sn='ABCDEFGHIJKLM', sn_check='923')),
            (['--mac', '00：11：32 AB CD EF', '--sn', 'MMMMMMMMMMMMM'],
             expected(self.original, mac='001132ABCDEFAA', sn='MMMMMMMMMMMMM', sn_check='100')),
        ]
        for args, want in cases:
            with self.subTest(args=args):
                self.vendor.write_bytes(self.original)
                result = self.run_cli('set', self.vendor, *args)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(self.vendor.read_bytes(), want)
                self.assertIn('written and verified', result.stdout)

    def test_refused_values_and_wrong_files_write_nothing(self):
        small = self.put('small.bin', bytes(1000))
        cases = [
            (self.vendor, ['--mac', '00-11-32-AB-CD-EF']), (self.vendor, ['--mac', '001132ABCDEG']),
            (self.vendor, ['--mac', ' : ']), (self.vendor, ['--sn', 'ABCDEFGHIJKL']),
            (self.vendor, ['--sn', 'ABCDEFGH\u0131JKLM']), (self.vendor, ['--mac', '001132ABCDEF', '--sn', '']),
            (self.vendor, []), (self.vendor, ['--mac', '01005E000001', '--strict']),
            (small, ['--mac', '001132ABCDEF']), (self.folder / 'missing.bin', ['--mac', '001132ABCDEF']),
        ]
        for path, args in cases:
            with self.subTest(args=args, path=path.name):
                result = self.run_cli('set', path, *args, '--backup', '--log', self.folder / 'log.jsonl')
                self.assertEqual(result.returncode, 2)
                self.assertTrue(result.stderr)
        self.assertEqual(self.vendor.read_bytes(), self.original)
        self.assertEqual(small.read_bytes(), bytes(1000))
        self.assertFalse(list(self.folder.glob('*.bak*')), 'a backup was made for a refused call')
        lines = self.log_lines()
        self.assertEqual([line['result'] for line in lines], ['refused'] * len(cases))
        # A good MAC beside a refused SN: neither is written, so neither is "after".
        self.assertEqual((lines[5]['mac_before'], lines[5]['mac_after']), ('010203040506', '010203040506'))

    def test_dry_run_writes_nothing_and_a_doubtful_mac_is_written_with_a_warning(self):
        result = self.run_cli('set', self.vendor, '--mac', '01005E000001', '--dry-run')
        self.assertEqual((result.returncode, self.vendor.read_bytes()), (0, self.original))
        self.assertIn('010203040506 -> 01005E000001', result.stdout)
        for mac in ('01005E000001', '000000000000', 'FFFFFFFFFFFF'):
            with self.subTest(mac):
                result = self.run_cli('set', self.vendor, '--mac', mac)
                self.assertEqual(result.returncode, 0)
                self.assertIn('warning', result.stderr)
                self.assertEqual(self.vendor.read_bytes()[:6], bytes.fromhex(mac))

    def test_backups_never_overwrite_one_another(self):
        self.put('vendor.bin.bak', b'an older backup')
        for mac in ('001132000001', '001132000002'):
            self.assertEqual(self.run_cli('set', self.vendor, '--mac', mac, '--backup').returncode, 0)
        self.assertEqual((self.folder / 'vendor.bin.bak').read_bytes(), b'an older backup')
        self.assertEqual((self.folder / 'vendor.bin.bak.1').read_bytes(), self.original)
        self.assertEqual((self.folder / 'vendor.bin.bak.2').read_bytes(), expected(self.original, mac='00113200000144'))

    def test_a_log_line_for_each_result(self):
        log = self.folder / 'log.jsonl'
        self.run_cli('set', self.vendor, '--mac', '001132ABCDEF', '--log', log)
        self.run_cli('set', self.vendor, '--sn', 'ABCDEFGHIJKLM', '--dry-run', '--log', log)
        self.run_cli('set', self.vendor, '--sn', 'ABC', '--log', log)
        self.run_cli('set', self.vendor, '--sn', 'ABCDEFGHIJKLM', '--log', log, cli=FAULTY_CLI,
                     env={**os.environ, 'QUORVIX_FAULT': 'write:1'})
        self.run_cli('set', self.vendor, '--sn', 'ABCDEFGHIJKLM', '--log', log, cli=FAULTY_CLI,
                     env={**os.environ, 'QUORVIX_FAULT': 'gone:1'})
        lines = self.log_lines()
        self.assertEqual([line['result'] for line in lines], ['written', 'dry-run', 'refused', 'failed', 'failed'])
        self.assertEqual(list(lines[0]), ['time', 'path', 'mac_before', 'mac_after', 'sn_before', 'sn_after', 'result'])
        self.assertRegex(lines[0]['time'], r'^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$')
        self.assertEqual((lines[0]['mac_before'], lines[0]['mac_after']), ('010203040506', '001132ABCDEF'))
        self.assertEqual((lines[1]['sn_before'], lines[1]['sn_after']), ('0000000000000', 'ABCDEFGHIJKLM'))
        self.assertEqual((lines[2]['sn_after'], 'restored' in lines[2]), ('0000000000000', False))
        self.assertEqual((lines[3]['restored'], lines[3]['sn_after']), (True, '0000000000000'))
        self.assertEqual((lines[4]['restored'], lines[4]['sn_after']), (False, None))

    def test_a_fault_after_writing_began_restores_the_fields(self):
        self.run_cli('set', self.vendor, '--mac', '001132ABCDEF')
        before = self.vendor.read_bytes()
        # Half of the update's bytes go out, then its write fails: the fields must be put back.
        result = self.run_cli('set', self.vendor, '--sn', 'ABCDEFGHIJKLM', cli=FAULTY_CLI,
                              env={**os.environ, 'QUORVIX_FAULT': 'write:1'})
        self.assertEqual(result.returncode, 1)
        self.assertIn('put back as they were', result.stderr)
        self.assertEqual(self.vendor.read_bytes(), before)

        result = self.run_cli('set', self.vendor, '--sn', 'ABCDEFGHIJKLM', cli=FAULTY_CLI,
                              env={**os.environ, 'QUORVIX_FAULT': 'gone:1'})
        self.assertEqual(result.returncode, 1)
        self.assertIn('could not be put back', result.stderr)
        now = self.vendor.read_bytes()
        self.assertEqual(now[:35] + now[48:53] + now[56:], before[:35] + before[48:53] + before[56:])

    def test_a_read_only_file_is_a_failure_and_stays_as_it_was(self):
        self.vendor.chmod(0o444)
        cli, prefix = CLI, ()
        if os.geteuid() == 0:  # root writes to any file: run as nobody, who may not
            self.folder.chmod(0o755)
            cli, prefix = runnable_by_nobody(self, CLI), AS_NOBODY
        result = self.run_cli('set', self.vendor, '--mac', '001132ABCDEF', cli=cli, prefix=prefix)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn('nothing was written', result.stderr)
        self.assertEqual(self.vendor.read_bytes(), self.original)


if __name__ == '__main__':
    unittest.main(verbosity=2)
