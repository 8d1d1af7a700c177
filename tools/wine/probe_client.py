"""The Python side of probe.exe, for the tests and the benchmark: one command
a line, one answer a line, with texts escaped so each stays on its line."""
import os
import shutil
import subprocess
import tempfile
from pathlib import Path


def wine_program(name: str, variable: str) -> str:
    """One of Wine's programs: as CTest found it (in VARIABLE), else searched
    for where Debian keeps it and on the PATH."""
    found = os.environ.get(variable) or shutil.which(name, path=os.pathsep.join(['/usr/lib/wine', os.defpath]))
    if not found:
        raise SystemExit(f'Wine\'s {name} is not installed (scripts/install-deps.sh installs it)')
    return found


WINE = wine_program('wine64', 'QUORVIX_WINE')


def escape(text: str) -> str:
    return text.replace('\\', '\\\\').replace('\r', '\\r').replace('\n', '\\n').replace('\t', '\\t')


def unescape(text: str) -> str:
    out, i = [], 0
    while i < len(text):
        if text[i] == '\\' and i + 1 < len(text):
            out.append({'r': '\r', 'n': '\n', 't': '\t'}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return ''.join(out)


def wine_path(path: Path) -> str:
    """A Linux path as a Windows program under Wine names it."""
    return 'Z:' + str(path).replace('/', '\\')


def how_it_ended(process: subprocess.Popen, errors) -> str:
    """A Wine process's exit code (None while it runs) and the last lines of
    the file its stderr went to."""
    errors.seek(0)
    said = errors.read().decode('utf-8', 'replace').strip().splitlines()[-20:]
    return f'exit code {process.poll()}' + ''.join('\n  ' + line for line in said)


class Probe:
    """probe.exe, running in a Wine prefix."""

    def __init__(self, env: dict, probe: Path):
        # Under load, Wine now and then ends a process it is still starting;
        # that is the test rig failing, not the program, so it has a second go.
        for attempt in (1, 2):
            self.start(env, probe)
            try:
                self.ok('ready')
                return
            except (RuntimeError, BrokenPipeError) as failure:
                self.close()
                if attempt == 2:
                    raise
                print(f'probe.exe did not start, once: {failure}', flush=True)

    def start(self, env: dict, probe: Path):
        # Wine's own errors go to a file, so a probe that ends early says why.
        self.errors = tempfile.TemporaryFile()
        self.process = subprocess.Popen([WINE, str(probe)], env={**env, 'WINEDEBUG': 'fixme-all'},
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.errors,
                                        text=True, encoding='utf-8', bufsize=1)

    def ask(self, command: str) -> str:
        """The whole answer: "ok", "ok TEXT", "none", "timeout" or "error ..."."""
        self.process.stdin.write(command + '\n')
        self.process.stdin.flush()
        answer = self.process.stdout.readline().rstrip('\n')
        if not answer:
            raise RuntimeError(f'probe gave no answer to {command!r}: {self.ended()}')
        return answer

    def ended(self) -> str:
        """How the probe ended, with the last of what Wine said."""
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass
        return how_it_ended(self.process, self.errors)

    def ok(self, command: str) -> str:
        """What follows "ok", unescaped; any other answer is a failure."""
        answer = self.ask(command)
        if answer != 'ok' and not answer.startswith('ok '):
            raise RuntimeError(f'{command}: {answer}')
        return unescape(answer[3:])

    def close(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.write('quit\n')
                self.process.stdin.flush()
                self.process.wait(timeout=10)
            except (BrokenPipeError, subprocess.TimeoutExpired):
                self.process.kill()
        self.process.stdin.close()
        self.process.stdout.close()
        self.errors.close()
