#!/usr/bin/env python3
"""quorvix-cli label on real vendor files, its labels read back by real
readers: zbarimg for the Code 128 barcodes and dmtxread for the Data Matrix
of PNG labels, the ZPL parsed back as a printer reads its fields, the SVG as
XML. Bars are measured in the PNG's dots, with their quiet zones; content
that does not fit and SNs a label cannot hold are refused, writing nothing."""
import json
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'tools'))
from make_sample_vendor import vendor_bytes  # noqa: E402

CLI = os.environ['QUORVIX_CLI']
STRACE = shutil.which('strace')
SHOT = os.environ.get('QUORVIX_LABEL_SHOT')

# MACs (12 hex digits) and SNs (13 bytes) the labels must carry exactly: code
# set changes, all digits, and every byte ZPL gives a meaning to.
VALUES = [
    ('001132ABCDEF', b'ABCDEFGHIJKLM'),
    ('0A1B2C3D4E5F', b'0123456789012'),
    ('FFEEDDCCBBAA', b'A^B~C_D>E<F>G'),
    ('020000000001', b'><_^~>< %&"x>'),
]


def vendor_file(mac, sn):
    """A vendor file holding mac and sn, with the checks the tool expects."""
    mac_bytes = bytes.fromhex(mac)
    data = vendor_bytes(mac=mac + f'{sum(mac_bytes) % 256:02X}')
    data[35:48] = sn
    data[53:56] = str(sum(sn))[:3].encode('ascii')
    return bytes(data)


def read_png(path):
    """The grayscale PNG's rows of dots, True where dark."""
    data = Path(path).read_bytes()
    assert data[:8] == b'\x89PNG\r\n\x1a\n'
    at, idat = 8, b''
    while at < len(data):
        length, kind = struct.unpack('>I4s', data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        assert struct.unpack('>I', data[at + 8 + length:at + 12 + length])[0] == zlib.crc32(kind + body)
        if kind == b'IHDR':
            width, height, depth, colour = struct.unpack('>IIBB', body[:10])
            assert (depth, colour) == (8, 0)
        elif kind == b'IDAT':
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    rows = []
    for y in range(height):
        line = raw[y * (width + 1):(y + 1) * (width + 1)]
        assert line[0] == 0
        rows.append([value < 128 for value in line[1:]])
    return rows


def runs_of(cells):
    """The runs of true cells, as (start, end)."""
    runs, at = [], 0
    while at < len(cells):
        if not cells[at]:
            at += 1
            continue
        start = at
        while at < len(cells) and cells[at]:
            at += 1
        runs.append((start, at))
    return runs


def bars(rows):
    """Each row's runs of dots (y, start, end) that belong to bars: dark dots
    in a vertical run as tall as the tallest, a barcode's height, which no
    letter or Data Matrix module reaches."""
    height, width = len(rows), len(rows[0])
    columns = [runs_of([row[x] for row in rows]) for x in range(width)]
    tall = max(end - start for runs in columns for start, end in runs)
    in_bar = [[False] * width for _ in rows]
    for x, runs in enumerate(columns):
        for start, end in runs:
            if end - start == tall:
                for k in range(start, end):
                    in_bar[k][x] = True
    return [(y, start, end) for y in range(height) for start, end in runs_of(in_bar[y])]


def zpl_fields(text):
    """The ZPL's fields as a printer reads them: (command before ^FD, data),
    split at ^FS, ^FH's _XX decoded, and in ^BC data >< read as >."""
    assert text.startswith('^XA') and text.rstrip().endswith('^XZ')
    fields = []
    for part in text.split('^FS')[:-1]:
        command, _, data = part.partition('^FD')
        assert command.endswith('^FH'), command
        assert '^' not in data and '~' not in data, data
        decoded = re.sub(rb'_([0-9A-Fa-f]{2})', lambda m: bytes.fromhex(m.group(1).decode()), data.encode('ascii'))
        if '^BC' in command:
            decoded = decoded.replace(b'><', b'>')
        fields.append((command, decoded))
    return fields


class Folder(unittest.TestCase):
    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix='quorvix-label-'))

    def tearDown(self):
        shutil.rmtree(self.folder, True)

    def vendor(self, mac, sn, name=None):
        path = self.folder / (name or f'{mac}.bin')
        path.write_bytes(vendor_file(mac, sn))
        return path

    def label(self, *args, code=0):
        done = subprocess.run([CLI, 'label', *map(str, args)], capture_output=True, timeout=60)
        self.assertEqual(done.returncode, code, done.stderr.decode(errors='replace'))
        return done


class Label(Folder):
    def test_png_read_back_by_scanners(self):
        for mac, sn in VALUES:
            for extra in ([], ['--dpi', '300'], ['--dpi', '100', '--size', '110x50']):
                with self.subTest(mac=mac, sn=sn, extra=extra):
                    # The README shows the first at 300 dpi.
                    kept = SHOT and (mac, sn, extra) == (*VALUES[0], ['--dpi', '300'])
                    out = Path(SHOT) if kept else self.folder / 'label.png'
                    out.parent.mkdir(parents=True, exist_ok=True)
                    self.label(self.vendor(mac, sn), '-o', out, *extra)
                    codes = subprocess.run(['zbarimg', '-q', '--raw', '-Sdisable', '-Scode128.enable', out],
                                           capture_output=True, check=True).stdout
                    self.assertEqual(sorted(codes.splitlines()), sorted([mac.encode(), sn]))
                    matrix = subprocess.run(['dmtxread', out], capture_output=True, check=True).stdout
                    self.assertEqual(matrix, b'MAC:' + mac.encode() + b';SN:' + sn)

    def test_bars_and_quiet_zones_in_dots(self):
        for dpi, size, module in (('203', '50x25', 2), ('300', '50x25', 2), ('600', '50x25', 5), ('100', '110x50', 2)):
            with self.subTest(dpi=dpi):
                out = self.folder / 'label.png'
                self.label(self.vendor(*VALUES[0]), '-o', out, '--dpi', dpi, '--size', size)
                rows = read_png(out)
                width_mm, height_mm = map(int, size.split('x'))
                self.assertEqual((len(rows[0]), len(rows)),
                                 (round(width_mm * int(dpi) / 25.4), round(height_mm * int(dpi) / 25.4)))
                runs = bars(rows)
                self.assertGreater(len({(start, end) for _, start, end in runs}), 40)
                self.assertEqual(min(end - start for _, start, end in runs), module)
                # Ten modules clear on each side of a Code 128's bars, up to the next dark dot.
                for y in {y for y, _, _ in runs}:
                    starts = [start for row, start, _ in runs if row == y]
                    ends = [end for row, _, end in runs if row == y]
                    self.assertFalse(any(rows[y][max(0, min(starts) - 10 * module):min(starts)]), y)
                    after = rows[y][max(ends):max(ends) + 10 * module]
                    self.assertEqual(len(after), 10 * module)
                    self.assertFalse(any(after), y)

    def test_refused_writes_nothing(self):
        cases = [
            ('SN too wide for the size', b'ABCDEFGHIJKLM', ['--size', '40x25'], 'does not fit'),
            ('too short for two barcodes', b'ABCDEFGHIJKLM', ['--size', '50x12'], 'does not fit'),
            ('non-ASCII SN', b'ABCDEF\xe9GHIJKL', [], '0xE9'),
            ('control byte in the SN', b'ABCDEFGHIJKL\x00', [], '0x00'),
            ('no size', b'ABCDEFGHIJKLM', ['--size', '50'], '--size'),
        ]
        for what, sn, extra, said in cases:
            for suffix in ('png', 'zpl', 'svg'):
                with self.subTest(what, suffix=suffix):
                    out = self.folder / f'label.{suffix}'
                    out.write_bytes(b'kept')
                    done = self.label(self.vendor('001132ABCDEF', sn), '-o', out, *extra, code=2)
                    self.assertIn(said, done.stderr.decode(errors='replace'))
                    self.assertEqual(out.read_bytes(), b'kept')
                    self.assertEqual(sorted(p.name for p in self.folder.iterdir()), ['001132ABCDEF.bin', out.name])
                    out.unlink()

    def test_stale_check_refused(self):
        path = self.vendor(*VALUES[0])
        data = bytearray(path.read_bytes())
        data[53:56] = b'000'
        path.write_bytes(data)
        out = self.folder / 'label.png'
        self.label(path, '-o', out, code=2)
        self.assertFalse(out.exists())

    def test_zpl_carries_the_values(self):
        for mac, sn in VALUES:
            with self.subTest(mac=mac, sn=sn):
                out = self.folder / 'label.zpl'
                self.label(self.vendor(mac, sn), '-o', out)
                fields = zpl_fields(out.read_text(encoding='ascii'))
                text = ':'.join(mac[i:i + 2] for i in range(0, 12, 2)).encode()
                by_kind = sorted((('^BC' in c) + 2 * ('^BX' in c), d) for c, d in fields)
                self.assertEqual(by_kind, sorted([(0, text), (0, sn), (1, mac.encode()), (1, sn),
                                                  (2, b'MAC:' + mac.encode() + b';SN:' + sn)]))
                for command, data in fields:
                    if '^BC' in command or '^BX' in command:
                        self.assertRegex(command, r'\^BY[2-9]|\^BXN,[2-9],200')
                    if '^BX' in command:
                        # The printer reads its escape character in the data: none is there.
                        escape = re.search(r'\^BXN,\d+,200,\d+,\d+(,6,(.))?\^FH$', command)[2] or '~'
                        self.assertNotIn(escape.encode(), data)

    def test_svg_well_formed_with_values(self):
        for mac, sn in VALUES:
            with self.subTest(mac=mac, sn=sn):
                out = self.folder / 'label.svg'
                self.label(self.vendor(mac, sn), '-o', out)
                root = ElementTree.parse(out).getroot()
                title = root.find('{http://www.w3.org/2000/svg}title').text
                text = ':'.join(mac[i:i + 2] for i in range(0, 12, 2))
                self.assertEqual(title, f'MAC {text} SN {sn.decode()}')
                self.assertEqual((root.get('width'), root.get('height')), ('50mm', '25mm'))
                self.assertGreater(len(root.findall('.//{http://www.w3.org/2000/svg}rect')), 100)

    def test_several_files_into_a_folder(self):
        paths = [self.vendor(mac, sn) for mac, sn in VALUES]
        out = self.folder / 'labels'
        self.label(*paths, '-o', out, '--format', 'png')
        self.assertEqual(sorted(p.name for p in out.iterdir()), sorted(f'{mac}.png' for mac, _ in VALUES))
        for mac, sn in VALUES:
            codes = subprocess.run(['zbarimg', '-q', '--raw', out / f'{mac}.png'], capture_output=True).stdout
            self.assertIn(sn, codes.splitlines())
        # One file refused: no label for any.
        bad = self.vendor('00AABBCCDDEE', b'ABCDEF\x80GHIJKL')
        again = self.folder / 'again'
        self.label(*paths, bad, '-o', again, '--format', 'zpl', code=2)
        self.assertFalse(again.exists())
        # Without a format named, nothing.
        self.label(*paths, '-o', again, code=2)
        self.assertFalse(again.exists())


class FromTheLedger(Folder):
    """assign --label makes a written unit's label, and only a written unit's;
    label --ledger reprints it from the ledger, found by its MAC or its SN."""

    def setUp(self):
        super().setUp()
        self.ledger = self.folder / 'line.db'
        self.env = {**os.environ, 'QUORVIX_JOURNAL': str(self.folder / 'journal.db')}
        self.cli('ledger', 'init', self.ledger, '--mac-range', '001132000000-0011320000FF',
                 '--sn-range', 'QVX2612000001-QVX2612000099')

    def cli(self, *args, code=0, prefix=()):
        done = subprocess.run([*prefix, CLI, *map(str, args)], capture_output=True, text=True, timeout=60,
                              env=self.env)
        self.assertEqual(done.returncode, code, done.stderr)
        return done

    def assign(self, *args, code=0, prefix=()):
        path = self.vendor('020000000001', b'BLANK00000000', name=f'unit{len(list(self.folder.iterdir()))}.bin')
        done = self.cli('assign', path, '--ledger', self.ledger, '--json', *args, code=code, prefix=prefix)
        return path, json.loads(done.stdout)

    def test_a_written_unit_gets_its_label_and_a_reprint_is_the_same(self):
        label = self.folder / 'unit.zpl'
        _, unit = self.assign('--label', label)
        self.assertEqual((unit['result'], unit['state']), ('written', 'written'))
        self.assertNotIn('label_error', unit)
        self.assertEqual(unit['label'], str(label))
        self.assertEqual([data for _, data in zpl_fields(label.read_text())],
                         [':'.join(unit['mac'][i:i + 2] for i in range(0, 12, 2)).encode(), unit['mac'].encode(),
                          unit['sn'].encode(), unit['sn'].encode(),
                          f'MAC:{unit["mac"]};SN:{unit["sn"]}'.encode()])
        for value in (unit['mac'], unit['sn'], unit['mac'].lower()):
            with self.subTest(value=value):
                again = self.folder / 'again.zpl'
                self.cli('label', '--ledger', self.ledger, value, '-o', again)
                self.assertEqual(again.read_bytes(), label.read_bytes())

    def test_a_label_that_fails_leaves_the_unit_written_with_exit_4(self):
        with socket.socket() as probe:
            probe.bind(('127.0.0.1', 0))
            closed = f'socket://127.0.0.1:{probe.getsockname()[1]}'
        for args, why in [(['--label', self.folder / 'tiny.zpl', '--size', '10x10'], 'does not fit'),
                          (['--label', self.folder / 'no folder' / 'unit.png'], 'No such file or directory'),
                          (['--label-print', closed], 'Connection refused')]:
            with self.subTest(args=args):
                path, unit = self.assign(*args, code=4)
                self.assertEqual((unit['result'], unit['state']), ('written', 'written'))
                self.assertTrue(unit['label_error'].startswith(f'{args[1]}: '), unit['label_error'])
                self.assertIn(why, unit['label_error'])
                self.assertNotIn('label', unit)
                self.assertFalse(Path(args[1]).exists())
                self.assertEqual(json.loads(self.cli('show', path, '--json').stdout)['mac'], unit['mac'])

    def test_a_station_beyond_ascii_goes_on_a_zpl_template_only_in_utf_8(self):
        template = self.folder / 'line.zpl'
        for head, code in [('^XA', 4), ('^XA^CI28', 0)]:
            with self.subTest(head=head):
                template.write_text(head + '^FO1,1^FD{station} {sn}^FS^XZ')
                label = self.folder / 'unit.zpl'
                _, unit = self.assign('--station', 'Linie-Süd', '--label', label, '--label-template', template,
                                      code=code)
                self.assertEqual(unit['state'], 'written')
                if code:
                    self.assertIn('beyond ASCII', unit['label_error'])
                    self.assertFalse(label.exists())
                else:
                    self.assertEqual(zpl_fields(label.read_text())[0][1], f'Linie-Süd {unit["sn"]}'.encode())

    def test_no_label_for_a_unit_not_written(self):
        label = self.folder / 'unit.zpl'
        path = self.vendor('020000000001', b'BLANK00000000', name='failing.bin')
        done = self.cli('assign', path, '--ledger', self.ledger, '--json', '--label', label, code=1,
                        prefix=[STRACE, '-f', '-qq', '-o', os.devnull, '-P', str(path), '-e', 'trace=pwrite64',
                                '-e', 'inject=pwrite64:error=EIO:when=1'])
        unit = json.loads(done.stdout)
        self.assertEqual(unit['state'], 'failed')
        self.assertFalse(label.exists())
        for value, why in [(unit['mac'], 'its unit is failed, not written'), ('001132000077', 'no unit has it'),
                           ('not a value!', 'neither a MAC nor an SN')]:
            with self.subTest(value=value):
                refused = self.cli('label', '--ledger', self.ledger, value, '-o', label, code=2)
                self.assertIn(why, refused.stderr)
                self.assertFalse(label.exists())
        # A label whose format cannot be told, or options of a label going nowhere, are refused
        # before any value is reserved.
        self.assign('--label', self.folder / 'unit.txt', code=2)
        self.assign('--label-format', 'png', code=2)
        self.assertEqual(len(self.cli('ledger', 'list', self.ledger, '--json').stdout.splitlines()), 1)


if __name__ == '__main__':
    unittest.main(verbosity=2)
