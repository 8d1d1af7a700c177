#!/usr/bin/env python3
"""quorvix-cli ledger report opened in a real browser, Debian's headless
Chromium: the page loads with no request leaving the file, shows each range's
figures, each station's name and the run-out date, and a station named like a
script is shown as text, never run. The screenshot is kept
(QUORVIX_REPORT_SHOT)."""
import datetime
import json
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'tools'))
from make_sample_vendor import vendor_bytes  # noqa: E402

CLI = os.environ['QUORVIX_CLI']
SHOT = Path(os.environ['QUORVIX_REPORT_SHOT'])
STATIONS = ['bench-1', 'bench-2', '<script>alert(1)</script>', 'bench, "4"']


class Report(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = Path(tempfile.mkdtemp(prefix='quorvix-report-'))
        ledger = cls.folder / 'line.db'
        cls.cli('ledger', 'init', ledger, '--mac-range', '001132000000-0011320001F3', '--sn-range',
                'QVX2612000001-QVX2612009999')
        for i in range(120):
            path = cls.folder / f'unit{i}.bin'
            path.write_bytes(vendor_bytes())
            cls.cli('assign', path, '--ledger', ledger, '--station', STATIONS[i % len(STATIONS)])
        # Spread over the last three days, the line busier by day.
        now = datetime.datetime.now(datetime.timezone.utc)
        with sqlite3.connect(ledger) as kept:
            # Times gone by, as no station can write them: the file's owner drops the units' rules first.
            for name, in kept.execute("SELECT name FROM sqlite_master WHERE type = 'trigger' AND tbl_name = 'units'"):
                kept.execute(f'DROP TRIGGER {name}')
            for i in range(120):
                when = now - datetime.timedelta(minutes=35 * (120 - i) + (i % 7) * 20)
                kept.execute('UPDATE units SET time = ? WHERE id = ?', (when.strftime('%Y-%m-%dT%H:%M:%SZ'), i + 1))
        # One unit left reserved: killed once its file's new bytes are written.
        held = cls.folder / 'held.bin'
        held.write_bytes(vendor_bytes())
        subprocess.run(['strace', '-f', '-qq', '-o', os.devnull, '-P', str(held), '-e', 'trace=fsync', '-e',
                        'inject=fsync:signal=KILL:when=1', CLI, 'assign', str(held), '--ledger', str(ledger),
                        '--station', 'bench-1'], capture_output=True, timeout=120)
        cls.report = cls.folder / 'report.html'
        cls.cli('ledger', 'report', ledger, '-o', cls.report)
        cls.status = json.loads(cls.cli('ledger', 'status', ledger, '--json').stdout)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, True)

    @staticmethod
    def cli(*args):
        return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, check=True, timeout=120)

    def chromium(self, *args, page=None):
        profile = self.folder / 'profile'
        return subprocess.run(['chromium', '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic',
                               '--no-first-run', '--disable-background-networking', '--disable-component-update',
                               '--disable-sync', f'--user-data-dir={profile}', '--window-size=1100,1500', *args,
                               (page or self.report).as_uri()], capture_output=True, text=True, timeout=120)

    def requests_of_the_page(self, page):
        """The URLs the page asked for, from the browser's own network log;
        the browser's requests for itself (updates, accounts) come from no
        origin."""
        log = self.folder / 'net.json'
        self.assertEqual(self.chromium(f'--log-net-log={log}', '--dump-dom', page=page).returncode, 0)
        events = json.loads(log.read_text())
        started = events['constants']['logEventTypes']['URL_REQUEST_START_JOB']
        return {event['params']['url'] for event in events['events']
                if event['type'] == started and 'url' in event.get('params', {})
                and event['params'].get('initiator') != 'not an origin'}

    def test_it_shows_the_figures_and_requests_nothing(self):
        dom = self.chromium('--dump-dom')
        self.assertEqual(dom.returncode, 0, dom.stderr)
        text = dom.stdout
        for station in STATIONS:
            escaped = station.replace('&', '&amp;').replace('<', '&lt;').replace('>', '&gt;')
            self.assertIn(escaped, text)
        self.assertNotIn('<script', text)
        for range_ in self.status['ranges']:
            self.assertIn(f"{range_['handed_out']} handed out, {range_['left']} left", text)
            self.assertIn(f"on {range_['runs_out'][:10]}", text)
        self.assertIn('<b>1</b>reserved', text)
        self.assertEqual(self.requests_of_the_page(self.report), set())
        # The log does show what a page asks for: the same page without its
        # policy, with an image from a server.
        control = self.folder / 'control.html'
        control.write_text(self.report.read_text().replace('Content-Security-Policy', 'X-None').replace(
            '</body>', '<img src="http://192.0.2.1/x.png"></body>'))
        self.assertEqual(self.requests_of_the_page(control), {'http://192.0.2.1/x.png'})

    def test_a_screenshot_is_kept(self):
        SHOT.parent.mkdir(parents=True, exist_ok=True)
        shot = self.chromium(f'--screenshot={SHOT}')
        self.assertEqual(shot.returncode, 0, shot.stderr)
        self.assertGreater(SHOT.stat().st_size, 10000)


if __name__ == '__main__':
    unittest.main(verbosity=2)
