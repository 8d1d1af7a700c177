"""Runs the real Quorvix.exe under Wine in a folder of its own and drives it
through the probe, as a user would: clicks, typing, answers to boxes. Tests
read the live window back and compare the vendor file's bytes.

The display and Wine prefix come from session.py (a CTest fixture); the exe,
the probe and the folder for screenshots come from the environment.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

from runs_here import PACE  # first: a suite that does not run here ends at once

sys.path[:0] = [str(Path(__file__).resolve().parents[2] / 'tools' / folder) for folder in ('', 'wine')]
import probe_client  # noqa: E402
import session  # noqa: E402
from make_sample_vendor import vendor_bytes, with_fields  # noqa: E402,F401 (for the tests)
from probe_client import escape, unescape, wine_path  # noqa: E402,F401 (wine_path is for the tests)

EXE = Path(os.environ['QUORVIX_EXE'])
LOADER = os.environ['QUORVIX_WINE_LOADER']  # Wine's 32- or 64-bit loader, for the exe's architecture
PROBE = Path(os.environ['QUORVIX_PROBE'])
STATE = Path(os.environ['QUORVIX_E2E_STATE'])
SHOTS = Path(os.environ['QUORVIX_E2E_SHOTS'])

# Control ids, as window/control_ids.h gives them.
MAC, SN, UPDATE, EXIT, HINT = 101, 102, 103, 104, 105
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
VK_RETURN, VK_ESCAPE, VK_TAB = 0x0D, 0x1B, 0x09

DESIGN_HINT = '将要修改的文件托进来'
LOADED_HINT = '已加载本地vendor.bin'


class Dialog:
    def __init__(self, answer: str):
        caption, text, buttons = answer.split('\t')
        self.caption = unescape(caption)
        self.text = unescape(text)
        self.buttons = {int(b) for b in buttons.split(',') if b}

    def __repr__(self):
        return f'Dialog({self.caption!r}, {self.text!r}, {sorted(self.buttons)})'


def wine_env():
    return session.wine_env(STATE, (STATE / 'display').read_text())


class Probe(probe_client.Probe):
    """The probe, in this test session's Wine."""

    def __init__(self):
        super().__init__(wine_env(), PROBE)


class App:
    """Quorvix.exe started in its own folder, beside whatever vendor.bin the
    test put there."""

    def __init__(self, test: unittest.TestCase, folder: Path, exe_name='Quorvix.exe'):
        self.test = test
        self.folder = folder
        shutil.copy(EXE, folder / exe_name)
        self.errors = tempfile.TemporaryFile()
        self.process = subprocess.Popen([LOADER, str(folder / exe_name)], cwd=folder,
                                        env={**wine_env(), 'WINEDEBUG': 'fixme-all'}, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=self.errors)
        self.probe = Probe()
        test.addCleanup(self.close)
        test.assertEqual(self.probe.ask(f'wait-main {30000 * PACE}'), 'ok',
                         f'the main window never showed: {probe_client.how_it_ended(self.process, self.errors)}')

    def ok(self, command: str) -> str:
        return self.probe.ok(command)

    def text(self, control: int) -> str:
        return self.ok(f'text {control}')

    def enabled(self, control: int) -> bool:
        return self.ok(f'enabled {control}') == '1'

    def wait_enabled(self, control: int, expected: bool, seconds=10.0) -> bool:
        """Whether the control is enabled, once it is as expected or the time is up:
        the handler goes on after its box closed."""
        deadline = time.monotonic() + seconds * PACE
        while self.enabled(control) != expected and time.monotonic() < deadline:
            time.sleep(0.05)
        return self.enabled(control)

    def rect(self, control: int):
        return tuple(int(v) for v in self.ok(f'rect {control}').split())

    def wait_text(self, control: int, expected: str, seconds=10.0) -> str:
        deadline = time.monotonic() + seconds * PACE
        while True:
            text = self.text(control)
            if text == expected or time.monotonic() > deadline:
                return text
            time.sleep(0.05)

    def click(self, control: int):
        self.ok(f'click {control}')

    def dialog(self, seconds=10.0):
        answer = self.probe.ask(f'dialog {int(seconds * PACE * 1000)}')
        return Dialog(answer[3:]) if answer.startswith('ok ') else None

    def no_dialog(self, seconds=0.6):
        dialog = self.dialog(seconds)
        self.test.assertIsNone(dialog, f'unexpected box: {dialog}')

    def press(self, button: int):
        """Clicks a button of the open box and waits until that box is gone."""
        self.ok(f'press {button} {10000 * PACE}')

    def wait_no_dialog(self, seconds=10.0):
        deadline = time.monotonic() + seconds * PACE
        while self.probe.ask('dialog-rect') != 'none':
            self.test.assertLess(time.monotonic(), deadline, 'the box did not close')
            time.sleep(0.05)

    def type(self, text: str):
        """Types into the focused control; into an input box, waits until the text arrived."""
        self.ok('type ' + escape(text))
        deadline = time.monotonic() + 5 * PACE
        while time.monotonic() < deadline:
            answer = self.probe.ask('dialog-edit')
            if answer == 'none' or unescape(answer[3:]).endswith(text):
                return
            time.sleep(0.02)

    def key(self, virtual_key: int):
        self.ok(f'key {virtual_key}')

    def screenshot(self, name: str):
        """Saves the main window, with any open box, as SHOTS/<test>/<name>.png."""
        left, top, right, bottom = (int(v) for v in self.ok('window-rect').split())
        box = self.probe.ask('dialog-rect')
        if box.startswith('ok '):
            l2, t2, r2, b2 = (int(v) for v in box[3:].split())
            left, top, right, bottom = min(left, l2), min(top, t2), max(right, r2), max(bottom, b2)
        left, top = max(left - 8, 0), max(top - 8, 0)
        folder = SHOTS / self.test.id().split('.', 1)[-1].replace('.', '-')
        folder.mkdir(parents=True, exist_ok=True)
        subprocess.run(['import', '-display', (STATE / 'display').read_text(), '-window', 'root', '-crop',
                        f'{right - left + 16}x{bottom - top + 16}+{left}+{top}', '+repage',
                        str(folder / f'{name}.png')], check=True, timeout=30)

    def drop(self, *paths: Path):
        """Drops files onto the middle of the window, as a Linux file manager does."""
        left, top, right, bottom = (int(v) for v in self.ok('window-rect').split())
        subprocess.run([os.environ['QUORVIX_XDND_DROP'], str((left + right) // 2), str((top + bottom) // 2),
                        *map(str, paths)], env=wine_env(), check=True, timeout=30)

    def gone(self, seconds=10.0) -> bool:
        """True once the program has ended, with exit code 0."""
        try:
            code = self.process.wait(timeout=seconds * PACE)
        except subprocess.TimeoutExpired:
            return False
        self.test.assertEqual(code, 0, 'the program ended with a failure')
        return True

    def close(self):
        self.probe.close()
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.errors.close()


class QuorvixTest(unittest.TestCase):
    """A test with a fresh folder for the program."""

    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix='quorvix-e2e-'))
        self.addCleanup(shutil.rmtree, self.folder, True)

    def put_vendor(self, data: bytes, name='vendor.bin', folder=None) -> Path:
        path = (folder or self.folder) / name
        path.write_bytes(bytes(data))
        return path

    def start(self, **kwargs) -> App:
        return App(self, self.folder, **kwargs)


def main():
    unittest.main(verbosity=2)
