#!/usr/bin/env python3
"""The main window: drops, Exit and the close box, layout, fonts and keys."""
import subprocess
import time

from harness import (session, DESIGN_HINT, EXIT, HINT, IDOK, IDYES, LOADED_HINT, MAC, SN, STATE, UPDATE, VK_TAB, QuorvixTest,
                     main, vendor_bytes, wine_env)

DROP_REFUSED = ('错误', '请正确拖放vender文件')


class Drops(QuorvixTest):
    def refused(self, app):
        box = app.dialog()
        self.assertIsNotNone(box, 'no refusal')
        self.assertEqual((box.caption, box.text, box.buttons), (*DROP_REFUSED, {IDOK}))
        return box

    def test_a_vendor_file_of_any_name_from_a_chinese_folder_loads(self):
        app = self.start()
        folder = self.folder / '设备 数据'
        folder.mkdir()
        dropped = self.put_vendor(vendor_bytes(mac='00000000000101', sn='0000000000000', sn_check='624'),
                                  name='固件.dat', folder=folder)
        app.drop(dropped)
        self.assertEqual(app.wait_text(MAC, 'MAC:000000000001  效验:01'), 'MAC:000000000001  效验:01')
        self.assertEqual(app.text(SN), 'SN:0000000000000 CHK:624')
        self.assertEqual(app.text(HINT), DESIGN_HINT)  # a drop never changes the hint
        self.assertTrue(app.enabled(UPDATE))
        app.no_dialog()
        app.screenshot('dropped')

    def test_two_files_are_refused(self):
        self.put_vendor(vendor_bytes())
        app = self.start()
        app.wait_text(MAC, 'MAC:001132ABCDEF  效验:AA')
        one = self.put_vendor(vendor_bytes(mac='00000000000101'), name='one.bin')
        two = self.put_vendor(vendor_bytes(mac='00000000000101'), name='two.bin')
        app.drop(one, two)
        self.refused(app)
        app.screenshot('two-files')
        app.press(IDOK)
        self.assertFalse(app.wait_enabled(UPDATE, False))
        self.assertEqual(app.text(MAC), 'MAC:001132ABCDEF  效验:AA')

    def test_a_small_file_after_a_vendor_file_is_refused_then_a_vendor_file_loads_again(self):
        self.put_vendor(vendor_bytes())
        app = self.start()
        app.wait_text(MAC, 'MAC:001132ABCDEF  效验:AA')
        app.drop(self.put_vendor(bytes(1000), name='small.bin'))
        self.refused(app)
        app.press(IDOK)
        self.assertFalse(app.wait_enabled(UPDATE, False))
        self.assertEqual(app.text(MAC), 'MAC:001132ABCDEF  效验:AA')
        self.assertEqual(app.text(HINT), LOADED_HINT)

        app.drop(self.put_vendor(vendor_bytes(mac='FFFFFFFFFFFFFA'), name='other.bin'))
        self.assertEqual(app.wait_text(MAC, 'MAC:FFFFFFFFFFFF  效验:FA'), 'MAC:FFFFFFFFFFFF  效验:FA')
        self.assertTrue(app.enabled(UPDATE))

    def test_a_folder_is_refused(self):
        app = self.start()
        sub = self.folder / 'vendor.bin'
        sub.mkdir()
        app.drop(sub)
        self.refused(app)
        app.press(IDOK)
        self.assertFalse(app.wait_enabled(UPDATE, False))


class Leaving(QuorvixTest):
    def setUp(self):
        super().setUp()
        self.original = vendor_bytes()
        self.vendor = self.put_vendor(self.original)

    def start_with_pending_edit(self):
        app = self.start()
        app.wait_text(MAC, 'MAC:001132ABCDEF  效验:AA')
        app.click(MAC)
        self.assertIsNotNone(app.dialog())
        app.type('000000000001')
        app.press(IDOK)
        self.assertEqual(app.text(MAC), 'MAC:000000000001  效验:01')
        return app

    def test_exit_with_a_pending_edit_ends_at_once_and_writes_nothing(self):
        app = self.start_with_pending_edit()
        app.click(EXIT)
        self.assertTrue(app.gone(), 'the program is still running')
        self.assertEqual(self.vendor.read_bytes(), self.original)

    def test_the_close_box_ends_at_once_and_writes_nothing(self):
        app = self.start_with_pending_edit()
        app.ok('click-close')
        self.assertTrue(app.gone(), 'the program is still running')
        self.assertEqual(self.vendor.read_bytes(), self.original)


    def test_closing_the_window_while_an_input_box_is_open_ends_the_program(self):
        app = self.start_with_pending_edit()
        app.click(SN)
        self.assertIsNotNone(app.dialog())
        app.type('ABCDEFGHIJKLM')
        app.ok('close-main')
        self.assertTrue(app.gone(), 'the program is still running')
        self.assertEqual(self.vendor.read_bytes(), self.original)

    def test_space_on_the_focused_exit_button_ends_the_program(self):
        app = self.start_with_pending_edit()
        self.assertEqual(int(app.ok('focus')), EXIT)
        app.key(0x20)  # VK_SPACE
        self.assertTrue(app.gone(), 'the program is still running')
        self.assertEqual(self.vendor.read_bytes(), self.original)


class Layout(QuorvixTest):
    def test_fresh_window_matches_the_design_at_96_dpi(self):
        app = self.start()
        app.no_dialog(0.3)
        self.assertEqual(app.ok('caption'), 'Quorvix_V3.0')
        self.assertEqual(app.ok('client'), '0 0 362 131')
        self.assertEqual(app.rect(UPDATE), (200, 100, 276, 124))
        self.assertEqual(app.rect(EXIT), (285, 100, 351, 124))
        for line in (MAC, SN, HINT):
            left, top, right, bottom = app.rect(line)
            self.assertEqual((left, top), {MAC: (20, 20), SN: (20, 55), HINT: (70, 105)}[line])
            self.assertGreater(right - left, 10)
        # Large type for the field lines (15.75 pt), small for the hint (8.25 pt).
        self.assertGreaterEqual(app.rect(MAC)[3] - app.rect(MAC)[1], 24)
        self.assertLessEqual(app.rect(HINT)[3] - app.rect(HINT)[1], 16)
        self.assertEqual((app.text(UPDATE), app.text(EXIT)), ('更新', '退出'))
        self.assertFalse(app.enabled(UPDATE))
        app.screenshot('fresh')

    def test_long_lines_grow_the_window_instead_of_being_clipped(self):
        self.put_vendor(vendor_bytes(mac='FFFFFFFFFFFFFA', sn='WWWWWWWWWWWWW', sn_check='115'))
        app = self.start()
        app.wait_text(SN, 'SN:WWWWWWWWWWWWW CHK:115')
        client_right = int(app.ok('client').split()[2])
        for line in (MAC, SN):
            left, top, right, bottom = app.rect(line)
            self.assertLessEqual(right, client_right, 'a line is clipped')
            self.assertLess(bottom - top, 40, 'a line wrapped')
        app.screenshot('long-lines')

    def test_tab_moves_between_update_and_exit_only(self):
        self.put_vendor(vendor_bytes())
        app = self.start()
        app.wait_text(MAC, 'MAC:001132ABCDEF  效验:AA')
        # At first the focus is on the first button that could take it: Update
        # was still disabled then.
        seen = [int(app.ok('focus'))]
        self.assertEqual(seen[0], EXIT)
        for _ in range(4):
            app.key(VK_TAB)
            deadline = time.monotonic() + 3
            while int(app.ok('focus')) == seen[-1] and time.monotonic() < deadline:
                time.sleep(0.05)
            seen.append(int(app.ok('focus')))
        self.assertEqual(seen, [EXIT, UPDATE, EXIT, UPDATE, EXIT])


class HighDpi(QuorvixTest):
    """The same window at 144 DPI (150 %), as Wine's LogPixels sets it."""

    def set_dpi(self, dpi):
        env = wine_env()
        subprocess.run([session.WINESERVER, '-k'], env=env)
        session.set_reg(env, r'HKCU\Control Panel\Desktop', 'LogPixels', 'REG_DWORD', str(dpi))
        subprocess.run([session.WINESERVER, '-w'], env=env, timeout=60)

    def setUp(self):
        super().setUp()
        self.set_dpi(144)
        self.addCleanup(self.set_dpi, 96)

    def test_the_fresh_window_scales_with_the_dpi(self):
        app = self.start()
        app.no_dialog(0.3)
        self.assertEqual(app.ok('client'), '0 0 543 197')  # 5430 x 1965 twips at 144 DPI
        self.assertEqual(app.rect(UPDATE), (300, 150, 414, 186))
        self.assertEqual(app.rect(EXIT), (428, 150, 527, 186))
        self.assertGreaterEqual(app.rect(MAC)[3] - app.rect(MAC)[1], 36)
        app.screenshot('fresh-144dpi')

    def test_long_lines_and_every_box_at_144_dpi(self):
        self.put_vendor(vendor_bytes(mac='FFFFFFFFFFFFFA', sn='WWWWWWWWWWWWW', sn_check='115'))
        app = self.start()
        app.wait_text(SN, 'SN:WWWWWWWWWWWWW CHK:115')
        client_right = int(app.ok('client').split()[2])
        self.assertLessEqual(app.rect(SN)[2], client_right, 'the SN line is clipped')
        app.screenshot('long-lines-144dpi')

        app.click(MAC)
        self.assertIsNotNone(app.dialog())
        app.type('00-11-32-AB-CD-EF')
        app.screenshot('input-box-144dpi')
        app.press(IDOK)
        self.assertEqual(app.dialog().caption, '错误')
        app.screenshot('refused-144dpi')
        app.press(IDOK)

        app.click(UPDATE)
        self.assertEqual(app.dialog().caption, '提示')
        app.screenshot('nothing-pending-144dpi')
        app.press(IDOK)

        app.click(SN)
        self.assertIsNotNone(app.dialog())
        app.type('ABCDEFGHIJKLM')
        app.press(IDOK)
        app.click(UPDATE)
        self.assertIsNotNone(app.dialog())
        app.screenshot('confirm-144dpi')
        app.press(IDYES)
        self.assertEqual(app.dialog().text, '更新成功!')
        app.screenshot('updated-144dpi')
        app.press(IDOK)

        app.drop(self.put_vendor(bytes(1000), name='small.bin'))
        self.assertEqual(app.dialog().caption, '错误')
        app.screenshot('drop-refused-144dpi')
        app.press(IDOK)


if __name__ == '__main__':
    main()
