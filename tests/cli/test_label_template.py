#!/usr/bin/env python3
"""quorvix-cli label --template on real vendor files: a ZPL template's fields
parsed back as a printer reads them, every value exact and every other byte
of the template kept; an SVG template's barcodes drawn in Debian's headless
Chromium and read back by zbarimg and dmtxread, their modules and quiet zones
measured, its text parsed as XML; and what a template may not be, refused."""
import datetime
import math
import re
import socket
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from test_label import VALUES, Folder  # noqa: E402
from test_label_browser import rendered  # noqa: E402

SVG = '{http://www.w3.org/2000/svg}'
FOLDER = object()  # a template path that names a folder

# Each placeholder, in plain, Code 128 and Data Matrix fields (the matrix's
# escape character, |, in no SN here); a field with
# its own ^FH and indicator (\), one with its own _ and no ^FH, and fields
# with braces that are no placeholders, which stay as they are.
ZPL = '''^XA
^PW480^LL400^LH0,0
^FO10,10^A0N,24,20^FDMAC {mac:colons} / {mac:dashes} tag_1A^FS
^FO10,40^BY2^BCN,60,N,N,N^FD{mac}^FS
^FO10,110^BY2^bcN,60,N,N,N
^FD{sn}^FS
^FO10,180^A0N,24,20^FH\\^FDSN\\7E{sn}_x^FS
^FO10,210^A0N,24,20^FD{station}^FS
^FO10,240^A0N,24,20^FD{time}^FS
^FO300,240^BXN,4,200,,,,|^FDMAC:{mac};SN:{sn}^FS
^FO10,300^A0N,24,20^FD{ 1 } {{ }} {0x1F} {^FS
^FX a comment without values^FS
^XZ
'''


def fields(zpl):
    """Each field, split at ^FS: (its commands up to ^FD, its data as the
    printer takes it: ^FH's hex decoded in its indicator, and in a Code 128
    field >< read as >)."""
    parsed = []
    for part in zpl.split('^FS')[:-1]:
        commands, found, data = part.partition('^FD')
        if not found:
            parsed.append((commands, None))
            continue
        hex_at = commands.find('^FH')
        raw = data.encode('latin-1')
        if hex_at >= 0:
            indicator = commands[hex_at + 3:hex_at + 4]
            indicator = '_' if indicator in ('', '^', '\n') else indicator
            raw = re.sub(re.escape(indicator).encode() + rb'([0-9A-Fa-f]{2})',
                         lambda m: bytes.fromhex(m.group(1).decode()), raw)
        if '^BC' in commands.upper():
            raw = raw.replace(b'><', b'>')
        parsed.append((commands, raw))
    return parsed


def filled(text, mac, sn):
    """text with the placeholders but {time} replaced by the values."""
    return (text.replace(b'{mac:colons}', ':'.join(re.findall('..', mac)).encode())
            .replace(b'{mac:dashes}', '-'.join(re.findall('..', mac)).encode())
            .replace(b'{mac}', mac.encode()).replace(b'{sn}', sn)
            .replace(b'{station}', socket.gethostname().encode()))


# The barcodes' boxes: one inside a moved group, attributes in another order
# and single quotes, one an element with content; text and an attribute
# with the SN, which must stay XML. 60 x 40 mm in a viewBox of mm.
SVG_TEMPLATE = '''<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="60mm" height="40mm" viewBox="0 0 60 40">
  <style>text {{ font: 2.5px sans-serif }}</style>
  <rect width="60" height="40" fill="#fff"/>
  <text x="1" y="3" data-sn="{{sn}}">SN {{sn}} MAC {{mac:colons}}</text>
  <g transform="translate(0.05, 4)">
    <rect id="mac-barcode" x="1" y="0" width="{mac_width}" height="8" fill="#ccc"/>
  </g>
  <rect height='8' width='{sn_width}' y='14' x='1' id='sn-barcode'></rect>
  <rect id="datamatrix" x="36" y="23" width="16" height="16"><title>the matrix</title></rect>
</svg>
'''


def rects_of(root, element_id):
    group = root.find(f".//{SVG}g[@id='{element_id}']")
    return [tuple(float(rect.get(k)) for k in ('x', 'y', 'width', 'height')) for rect in group.iter(f'{SVG}rect')]


class Template(Folder):
    def test_zpl_fields_carry_the_values_and_nothing_else_changes(self):
        template = self.folder / 'line.zpl'
        template.write_bytes(ZPL.encode('ascii'))
        for mac, sn in VALUES:
            with self.subTest(mac=mac, sn=sn):
                out = self.folder / 'label.zpl'
                before = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
                self.label(self.vendor(mac, sn), '-o', out, '--template', template)
                text = out.read_text(encoding='ascii')
                self.assertTrue(text.startswith('^XA\n^PW480^LL400^LH0,0\n') and text.endswith('^XZ\n'))
                given, made = fields(ZPL), fields(text)
                self.assertEqual(len(made), len(given))
                for (commands, data), (template_commands, template_data) in zip(made, given):
                    if template_data is None or not re.search(rb'\{[a-z]', template_data):
                        self.assertEqual((commands, data), (template_commands, template_data))
                        continue
                    # ^FH added before ^FD where the field had none; no other command changes.
                    self.assertIn(commands, (template_commands, template_commands + '^FH'))
                    self.assertIn('^FH', commands)
                    if template_data == b'{time}':
                        made_at = datetime.datetime.strptime(data.decode(), '%Y-%m-%dT%H:%M:%SZ').replace(
                            tzinfo=datetime.timezone.utc)
                        self.assertLessEqual(abs((made_at - before).total_seconds()), 60)
                    else:
                        self.assertEqual(data, filled(template_data, mac, sn))
                # Nothing with a meaning to the printer in the filled data.
                for part in text.split('^FS')[:-1]:
                    self.assertNotIn('~', part.partition('^FD')[2])
                self.assertEqual(text.split('^FS')[-1], ZPL.split('^FS')[-1])

    def test_svg_barcodes_read_back_in_a_browser(self):
        template = self.folder / 'line.svg'
        template.write_text(SVG_TEMPLATE.format(mac_width=50, sn_width=58))
        for mac, sn in VALUES:
            with self.subTest(mac=mac, sn=sn):
                out = self.folder / 'label.svg'
                self.label(self.vendor(mac, sn), '-o', out, '--template', template)
                root = ElementTree.parse(out).getroot()
                text = root.find(f'{SVG}text')
                self.assertEqual(text.text, f'SN {sn.decode()} MAC {":".join(re.findall("..", mac))}')
                self.assertEqual(text.get('data-sn'), sn.decode())
                self.assertEqual(root.find(f'{SVG}style').text, 'text { font: 2.5px sans-serif }')
                shot = rendered([out], self.folder)
                codes = subprocess.run(['zbarimg', '-q', '--raw', '-Sdisable', '-Scode128.enable', shot],
                                       capture_output=True, check=True).stdout
                self.assertEqual(sorted(codes.splitlines()), sorted([mac.encode(), sn]))
                matrix = subprocess.run(['dmtxread', shot], capture_output=True, check=True).stdout
                self.assertEqual(matrix, b'MAC:' + mac.encode() + b';SN:' + sn)

    def test_svg_modules_are_whole_dots_on_the_printers_dots_inside_their_boxes(self):
        template = self.folder / 'line.svg'
        template.write_text(SVG_TEMPLATE.format(mac_width=50, sn_width=58))
        boxes = {'mac-barcode': (1.05, 4, 50, 8), 'sn-barcode': (1, 14, 58, 8), 'datamatrix': (36, 23, 16, 16)}
        for dpi in (203, 300, 600):
            with self.subTest(dpi=dpi):
                out = self.folder / 'label.svg'
                self.label(self.vendor(*VALUES[2]), '-o', out, '--template', template, '--dpi', dpi)
                root = ElementTree.parse(out).getroot()
                dot = 25.4 / dpi  # the viewBox is in mm
                for element_id, (x, y, width, height) in boxes.items():
                    rects = rects_of(root, element_id)
                    if element_id == 'mac-barcode':  # drawn in its group, moved
                        rects = [(rx + 0.05, ry + 4, rw, rh) for rx, ry, rw, rh in rects]
                    module = min(rw for _, _, rw, _ in rects)
                    self.assertGreaterEqual(module / dot, 2 - 1e-4, element_id)
                    self.assertAlmostEqual(module / dot, round(module / dot), 4)
                    quiet = (10 if element_id != 'datamatrix' else 1) * module
                    left = min(rx for rx, _, _, _ in rects)
                    right = max(rx + rw for rx, _, rw, _ in rects)
                    self.assertGreaterEqual(left - x, quiet - 1e-5, element_id)
                    self.assertGreaterEqual(x + width - right, quiet - 1e-5, element_id)
                    # Centred, as near as whole dots from the label's edge allow.
                    self.assertLessEqual(abs((left - x) - (x + width - right)), dot + 1e-6)
                    for rx, ry, rw, rh in rects:
                        self.assertAlmostEqual(rw / module, round(rw / module), 4)
                        self.assertAlmostEqual(rx / dot, round(rx / dot), 3, element_id)
                        if element_id == 'datamatrix':
                            self.assertAlmostEqual(ry / dot, round(ry / dot), 3)
                        self.assertTrue(y - 1e-6 <= ry and ry + rh <= y + height + 1e-6, element_id)
                self.assertIsNone(root.find(f".//{SVG}rect[@fill='#ccc']"))

    def test_svg_of_text_alone_needs_no_absolute_size(self):
        template = self.folder / 'line.svg'
        template.write_text('\ufeff<svg xmlns="http://www.w3.org/2000/svg" width="400" height="200">'
                            '<text>{sn} {mac:dashes}</text></svg>', encoding='utf-8')
        out = self.folder / 'label.svg'
        self.label(self.vendor(*VALUES[3]), '-o', out, '--template', template)
        self.assertEqual(ElementTree.parse(out).getroot().find(f'{SVG}text').text,
                         VALUES[3][1].decode() + ' 02-00-00-00-00-01')
        self.assertTrue(out.read_bytes().startswith(b'\xef\xbb\xbf<svg '))

    def test_several_files_named_by_the_templates_format(self):
        template = self.folder / 'line.zpl'
        template.write_bytes(ZPL.encode('ascii'))
        out = self.folder / 'labels'
        self.label(*(self.vendor(mac, sn) for mac, sn in VALUES), '-o', out, '--template', template)
        self.assertEqual(sorted(p.name for p in out.iterdir()), sorted(f'{mac}.zpl' for mac, _ in VALUES))

    def test_refused_writes_nothing(self):
        svg_head = '<svg xmlns="http://www.w3.org/2000/svg" width="60mm" height="40mm" viewBox="0 0 60 40">'
        box = '<rect id="sn-barcode" x="1" y="1" width="{}" height="{}"/>'
        cases = [
            ('unknown placeholder', 'zpl', '^XA^FO1,1^FD{serial}^FS^XZ', [], 'label.zpl', '{serial}'),
            ('misspelt placeholder', 'svg', svg_head + '<text>{Mac}</text></svg>', [], 'label.svg', '{Mac}'),
            ('placeholder outside a field', 'zpl', '^XA^FX {sn}^FO1,1^FDx^FS^XZ', [], 'label.zpl', '^FX'),
            ('field not closed', 'zpl', '^XA^FO1,1^FD{sn}^XZ', [], 'label.zpl', '^FS'),
            ('not a label', 'zpl', 'MAC {mac}\n', [], 'label.zpl', '^XA'),
            ('byte-order mark', 'zpl', '\ufeff^XA^FO1,1^FD{sn}^FS^XZ', [], 'label.zpl', 'byte-order mark'),
            ('no end', 'zpl', '^XA^FO1,1^FD{sn}^FS', [], 'label.zpl', '^XZ'),
            ('prefix changed', 'zpl', '^XA^CC+^FO1,1+FD{sn}+FS^XZ', [], 'label.zpl', '^CC'),
            ('hex digit indicator', 'zpl', '^XA^FO1,1^FHA^FD{sn}^FS^XZ', [], 'label.zpl', '^FHA'),
            ('Data Matrix escape in the SN', 'zpl', '^XA^FO1,1^BXN,4,200^FD{sn}^FS^XZ', [], 'label.zpl',
             '{sn} holds ~', VALUES[2][1]),
            ('Data Matrix escape of its own', 'zpl', '^XA^FO1,1^BXN,4,200,,,,G^FD{mac}:{sn}^FS^XZ', [],
             'label.zpl', '{sn} holds G'),
            ('Data Matrix not ECC 200', 'zpl', '^XA^FO1,1^BXN,4^FD{sn}^FS^XZ', [], 'label.zpl', 'ECC 200'),
            ('box too narrow', 'svg', svg_head + box.format(30, 10) + '</svg>', [], 'label.svg', 'dots'),
            ('box too narrow at 100 dpi', 'svg', svg_head + box.format(58, 10) + '</svg>', ['--dpi', '100'],
             'label.svg', '100 dpi'),
            ('box too short', 'svg', svg_head + box.format(58, 4) + '</svg>', [], 'label.svg', '5 mm'),
            ('matrix box too small', 'svg',
             svg_head + '<rect id="datamatrix" width="4" height="4"/></svg>', [], 'label.svg', 'dots'),
            ('no absolute size', 'svg', '<svg xmlns="http://www.w3.org/2000/svg" width="600" height="400" '
             'viewBox="0 0 60 40">' + box.format(58, 10) + '</svg>', [], 'label.svg', 'width and height in mm'),
            ('no viewBox', 'svg', '<svg xmlns="http://www.w3.org/2000/svg" width="60mm" height="40mm">' +
             box.format(58, 10) + '</svg>', [], 'label.svg', 'viewBox'),
            ('viewBox near its proportions', 'svg', svg_head.replace('0 0 60 40', '0 0 60 40.1') +
             box.format(58, 10) + '</svg>', [], 'label.svg', 'proportions'),
            ('scaled group', 'svg', svg_head + '<g transform="scale(2)">' + box.format(29, 10) + '</g></svg>', [],
             'label.svg', 'scale(2)'),
            ('box in percent', 'svg', svg_head + box.format('90%', 10) + '</svg>', [], 'label.svg', 'user units'),
            ('two boxes of one id', 'svg', svg_head + box.format(58, 10) + box.format(58, 10) + '</svg>', [],
             'label.svg', 'two elements'),
            ('unclosed element', 'svg', svg_head + '<g><text>{sn}</text></svg>', [], 'label.svg', '</svg>'),
            ('entities of its own', 'svg', '<!DOCTYPE svg [<!ENTITY x "y">]>' + svg_head + '</svg>', [],
             'label.svg', 'DOCTYPE'),
            ('not an SVG', 'svg', '<html><body>{sn}</body></html>', [], 'label.svg', '<html>'),
            ('output of another format', 'zpl', '^XA^FO1,1^FD{sn}^FS^XZ', [], 'label.svg', '.zpl labels'),
            ('--format of another format', 'svg', svg_head + '</svg>', ['--format', 'png'], 'label', '.svg labels'),
            ('--size with a template', 'zpl', '^XA^FO1,1^FD{sn}^FS^XZ', ['--size', '50x25'], 'label.zpl', '--size'),
            ('template of no format', 'txt', '^XA^FO1,1^FD{sn}^FS^XZ', [], 'label.zpl', '.zpl or an .svg'),
            ('template missing', 'zpl', None, [], 'label.zpl', 'No such file'),
            ('template a folder', 'zpl', FOLDER, [], 'label.zpl', 'a folder'),
        ]
        for what, suffix, text, extra, name, said, *sn in cases:
            with self.subTest(what):
                template = self.folder / f'line.{suffix}'
                if template.is_dir():
                    template.rmdir()
                template.unlink(missing_ok=True)
                if text is FOLDER:
                    template.mkdir()
                elif text is not None:
                    template.write_text(text)
                out = self.folder / name
                out.write_bytes(b'kept')
                vendor = self.vendor(VALUES[0][0], sn[0] if sn else VALUES[0][1])
                done = self.label(vendor, '-o', out, '--template', template, *extra, code=2)
                self.assertIn(said, done.stderr.decode(errors='replace'))
                self.assertEqual(out.read_bytes(), b'kept')
                out.unlink()


if __name__ == '__main__':
    unittest.main(verbosity=2)
