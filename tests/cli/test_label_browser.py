#!/usr/bin/env python3
"""SVG labels as a browser draws them: quorvix-cli's SVG rendered by Debian's
headless Chromium at a device scale factor of 4, then read back by zbarimg
and dmtxread as a scanner reads the printed label."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from test_label import CLI, VALUES, vendor_file  # noqa: E402

SCALE = 4


def rendered(svgs, folder):
    """The SVG files as Chromium draws them, one under another on a page, as
    one PNG at SCALE device pixels a CSS pixel: one browser start for all.
    The window is far larger than the labels: headless Chromium takes its
    own bars out of the window's height."""
    page, shot = folder / 'labels.html', folder / 'labels.png'
    page.write_text('<!DOCTYPE html><body style="margin:0;background:#fff">' + ''.join(
        f'<img src="{svg.name}" style="display:block;margin:40px">' for svg in svgs) + '</body>')
    done = subprocess.run(['chromium', '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
                           '--disable-background-networking', '--disable-component-update', '--disable-sync',
                           f'--user-data-dir={folder / "profile"}', '--hide-scrollbars',
                           f'--force-device-scale-factor={SCALE}', '--window-size=400,1000',
                           f'--screenshot={shot}', page.as_uri()], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0 and shot.exists(), done.stderr
    return shot


class InBrowser(unittest.TestCase):
    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix='quorvix-label-browser-'))

    def tearDown(self):
        shutil.rmtree(self.folder, True)

    def test_svg_labels_read_back_exactly(self):
        svgs = []
        for mac, sn in VALUES:
            path = self.folder / f'{mac}.bin'
            path.write_bytes(vendor_file(mac, sn))
            svgs.append(self.folder / f'{mac}.svg')
            done = subprocess.run([CLI, 'label', path, '-o', svgs[-1]], capture_output=True, text=True)
            self.assertEqual(done.returncode, 0, done.stderr)
        shot = rendered(svgs, self.folder)
        codes = subprocess.run(['zbarimg', '-q', '--raw', '-Sdisable', '-Scode128.enable', shot],
                               capture_output=True, check=True).stdout
        self.assertEqual(sorted(codes.splitlines()), sorted(v for mac, sn in VALUES for v in (mac.encode(), sn)))
        matrices = subprocess.run(['dmtxread', '-n', '-N', str(len(VALUES)), shot], capture_output=True, check=True).stdout
        self.assertEqual(sorted(matrices.splitlines()), sorted(b'MAC:' + mac.encode() + b';SN:' + sn
                                                               for mac, sn in VALUES))


if __name__ == '__main__':
    unittest.main(verbosity=2)
