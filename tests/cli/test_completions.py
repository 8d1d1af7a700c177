#!/usr/bin/env python3
"""The shell completions of quorvix-cli, driven for real: bash's function
called as bash calls it, fish's "complete -C", zsh's through a pseudo-terminal;
the shell's class is named on the command line (Bash, Zsh, Fish). Each command's options must be those its --help
names, so a completion cannot fall behind the program."""
import os
import pty
import re
import select
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

CLI = os.environ['QUORVIX_CLI']
SCRIPTS = Path(__file__).resolve().parents[2] / 'cli' / 'completions'
COMMANDS = ['show', 'check', 'set', 'assign', 'label', 'ledger init', 'ledger extend', 'ledger grant', 'ledger status',
            'ledger list', 'ledger reconcile', 'ledger find', 'ledger export', 'ledger report', 'ledger sync',
            'ledger release', 'ledger withdraw']


def help_options(command):
    """The long options that `quorvix-cli COMMAND --help` names."""
    text = subprocess.run([CLI, *command.split(), '--help'], capture_output=True, text=True, check=True).stdout
    return set(re.findall(r'^ +(?:-\w,)?(--[a-z-]+)', text, re.MULTILINE))


class Completions:
    """What each shell must complete; complete(line) gives the candidates
    for the line's last word, run in self.folder."""

    @classmethod
    def setUpClass(cls):
        cls.folder = Path(tempfile.mkdtemp(prefix='quorvix-completions-'))
        for name in ('vendor.bin', 'vendor-2.bin', 'line.db'):
            (cls.folder / name).write_bytes(b'')

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, True)

    def test_each_commands_options_are_those_its_help_names(self):
        for command in COMMANDS:
            with self.subTest(command=command):
                self.assertEqual(set(self.complete(f'quorvix-cli {command} --')), help_options(command))

    def test_commands_values_and_file_names(self):
        cases = [
            ('quorvix-cli s', {'show', 'set'}),
            ('quorvix-cli ledger ', {'init', 'extend', 'grant', 'status', 'list', 'reconcile', 'find', 'export', 'report',
                                     'sync', 'release', 'withdraw'}),
            ('quorvix-cli ledger list LEDGER --state ', {'reserved', 'written', 'failed', 'replaced'}),
            ('quorvix-cli ledger export LEDGER --format ', {'csv', 'jsonl'}),
            ('quorvix-cli label vendor.bin -o out --format ', {'zpl', 'png', 'svg'}),
            ('quorvix-cli label vendor', {'vendor.bin', 'vendor-2.bin'}),
            ('quorvix-cli l', {'label', 'ledger'}),
            ('quorvix-cli ledger report line.db -o li', {'line.db'}),
            ('quorvix-cli set vendor', {'vendor.bin', 'vendor-2.bin'}),
            ('quorvix-cli set vendor.bin --log li', {'line.db'}),
            ('quorvix-cli assign vendor.bin --ledger li', {'line.db'}),
            ('quorvix-cli ledger status li', {'line.db'}),
        ]
        for line, want in cases:
            with self.subTest(line=line):
                self.assertEqual(set(self.complete(line)) - {'--help', '--help-all'}, want)


class Bash(Completions, unittest.TestCase):
    def complete(self, line):
        words = line.split(' ')
        script = (f'source {SCRIPTS / "quorvix-cli.bash"}; COMP_WORDS=({" ".join(map(repr, words))}); '
                  f'COMP_CWORD={len(words) - 1}; _quorvix_cli; printf "%s\\n" "${{COMPREPLY[@]}}"')
        result = subprocess.run(['bash', '-c', script], capture_output=True, text=True, cwd=self.folder, check=True)
        return result.stdout.split()


class Fish(Completions, unittest.TestCase):
    def complete(self, line):
        script = f'source {SCRIPTS / "quorvix-cli.fish"}; complete -C {line!r}'
        result = subprocess.run(['fish', '--no-config', '-c', script], capture_output=True, text=True,
                                cwd=self.folder, check=True)
        return [candidate.split('\t')[0] for candidate in result.stdout.splitlines()]


class Zsh(Completions, unittest.TestCase):
    """One interactive zsh on a pseudo-terminal, its compadd wrapped to write
    down the matches each completion offers; each line typed, then Tab, then
    the line cleared for the next."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.matches = cls.folder / '.matches'
        setup = (f'fpath=({SCRIPTS} $fpath); autoload -Uz compinit; compinit -u -D; '
                 f'compadd() {{ local -a m; builtin compadd -O m "$@"; print -rl -- $m >>{cls.matches}; '
                 'builtin compadd "$@"; }; print RE""ADY\n')
        cls.pid, cls.terminal = pty.fork()
        if cls.pid == 0:
            os.chdir(cls.folder)
            os.execvpe('zsh', ['zsh', '-f', '-i'], dict(os.environ, TERM='dumb', PS1='> '))
        os.write(cls.terminal, setup.encode())
        cls.read_until(lambda seen: b'READY' in seen)

    @classmethod
    def tearDownClass(cls):
        os.kill(cls.pid, 9)
        os.waitpid(cls.pid, 0)
        os.close(cls.terminal)
        super().tearDownClass()

    def complete(self, line):
        self.matches.write_text('')
        os.write(self.terminal, (line + '\t').encode())
        # Done when the matches are written and zsh has gone quiet.
        self.read_until(lambda seen: self.matches.stat().st_size > 0, quiet=0.3)
        os.write(self.terminal, b'\x15')  # the line cleared
        return [match for match in self.matches.read_text().splitlines() if match]

    @classmethod
    def read_until(cls, done, quiet=0.0, limit=10.0):
        """Reads what zsh prints until done(all of it) holds and it has been
        quiet a while, or the limit passes."""
        seen, start = b'', time.monotonic()
        last = start
        while time.monotonic() - start < limit:
            if select.select([cls.terminal], [], [], 0.05)[0]:
                seen += os.read(cls.terminal, 65536)
                last = time.monotonic()
            elif done(seen) and time.monotonic() - last >= quiet:
                return


if __name__ == '__main__':
    unittest.main(verbosity=2)
