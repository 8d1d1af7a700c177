#!/usr/bin/env python3
"""The Debian package of quorvix-cli, as the release builds it: its fields
and files, lintian's verdict (no error, no warning), and an install into a
scratch root, where the program runs and its man page renders and names every
option that a command's --help names.

    check_package.py DEB VERSION"""
import os
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

DEB, VERSION = Path(sys.argv[1]), sys.argv[2]
FILES = {
    'usr/bin/quorvix-cli',
    'usr/share/man/man1/quorvix-cli.1.gz',
    'usr/share/bash-completion/completions/quorvix-cli',
    'usr/share/zsh/vendor-completions/_quorvix-cli',
    'usr/share/fish/vendor_completions.d/quorvix-cli.fish',
    'usr/share/doc/quorvix-cli/copyright',
    'usr/share/doc/quorvix-cli/changelog.gz',
}
COMMANDS = ['', 'show', 'check', 'set', 'assign', 'ledger', 'ledger init', 'ledger extend', 'ledger status',
            'ledger list', 'ledger reconcile']


def run(*args, **kwargs):
    return subprocess.run(list(map(str, args)), capture_output=True, text=True, **kwargs)


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = Path(tempfile.mkdtemp(prefix='quorvix-deb-'))
        subprocess.run(['dpkg-deb', '-x', DEB, cls.root], check=True)
        cls.cli = cls.root / 'usr/bin/quorvix-cli'

    @classmethod
    def tearDownClass(cls):
        subprocess.run(['rm', '-rf', cls.root], check=True)

    def test_fields(self):
        fields = dict(re.findall(r'^ (\S+): (.*)$', run('dpkg-deb', '--info', DEB).stdout, re.MULTILINE))
        self.assertEqual(DEB.name, f'quorvix-cli_{VERSION}_amd64.deb')
        for key, want in [('Package', 'quorvix-cli'), ('Version', VERSION), ('Architecture', 'amd64'),
                          ('Section', 'utils'), ('Priority', 'optional')]:
            self.assertEqual(fields.get(key), want, key)
        self.assertRegex(fields['Maintainer'], r'^[^<>]+ <[^@\s]+@[^>\s]+>$')
        # unixODBC only for server ledgers, libcups only for printing: loaded then
        self.assertRegex(fields['Depends'], r'^libc6 \(>= [\d.]+\)$')
        self.assertEqual(fields['Suggests'], 'odbc-postgresql, libcups2')
        description = run('dpkg-deb', '--field', DEB, 'Description').stdout
        self.assertIn('vendor files', description.splitlines()[0])
        self.assertRegex(description, r'^[^\n]+\n( [^ ;\n][^\n]*\n)+$')  # a summary, then the long text

    def test_files_where_debian_puts_them(self):
        listed = run('dpkg-deb', '--contents', DEB).stdout.splitlines()
        files = {line.split()[-1].lstrip('./') for line in listed if not line.startswith('d')}
        self.assertEqual(files, FILES)
        owners = {line.split()[1] for line in listed}
        self.assertEqual(owners, {'root/root'})

    def test_lintian_finds_no_error_and_no_warning(self):
        result = run('lintian', '--fail-on', 'error,warning', DEB)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertNotRegex(result.stdout, r'(?m)^[EW]:')

    def test_installed_program_runs_and_its_man_page_names_every_option(self):
        version = run(self.cli, '--version', check=True).stdout.strip()
        self.assertEqual(version, f'quorvix-cli {VERSION}')
        page = run('man', '-l', self.root / 'usr/share/man/man1/quorvix-cli.1.gz', check=True,
                   env=dict(os.environ, MANWIDTH='300', MAN_KEEP_FORMATTING='')).stdout
        page = page.replace('\u2010', '-').replace('\u2212', '-')
        for heading in ('NAME', 'SYNOPSIS', 'DESCRIPTION', 'OPTIONS', 'LEDGERS', 'JSON', 'EXAMPLES'):
            self.assertRegex(page, rf'(?m)^{heading}$')
        for command in COMMANDS:
            help_text = run(self.cli, *command.split(), '--help', check=True).stdout
            for option in set(re.findall(r'^ +(?:-\w,)?(--[a-z-]+)', help_text, re.MULTILINE)):
                with self.subTest(command=command, option=option):
                    self.assertRegex(page, rf'(?<![\w-]){option}(?![\w-])')
            with self.subTest(command=command):
                self.assertIn(f'quorvix-cli {command}'.strip(), page)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
