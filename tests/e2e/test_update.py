#!/usr/bin/env python3
"""Update: the pending MAC and SN go into the file in place, and nothing else."""
import os

from harness import (IDNO, IDOK, IDYES, MAC, SN, UPDATE, VK_ESCAPE, Probe, QuorvixTest, escape, main, vendor_bytes,
                     wine_path, with_fields)

CONFIRM = '确定要更新SN或MAC信息吗？'
NOTHING_PENDING = '您还没有修改任何信息\r\n请先单击SN或MAC进行修改后再来操作'


class Update(QuorvixTest):
    def setUp(self):
        super().setUp()
        self.original = vendor_bytes(mac='0102030405060F', sn='0000000000000', sn_check='000')
        self.vendor = self.put_vendor(self.original)
        self.app = self.start()
        self.app.wait_text(MAC, 'MAC:010203040506  效验:0F')

    def enter(self, line, value):
        self.app.click(line)
        self.assertIsNotNone(self.app.dialog())
        self.app.type(value)
        self.app.press(IDOK)

    def click_update(self):
        self.app.click(UPDATE)
        box = self.app.dialog()
        self.assertIsNotNone(box, 'Update showed nothing')
        return box

    def confirm_update(self):
        """Update, Yes, and the success notice."""
        self.click_update()
        self.app.press(IDYES)
        self.assertEqual(self.app.dialog().text, '更新成功!')
        self.app.press(IDOK)

    def expected(self, mac=None, sn=None, sn_check=None):
        return bytes(with_fields(self.original, mac, sn, sn_check))

    def test_mac_and_sn_written_after_yes_change_exactly_their_bytes(self):
        self.enter(MAC, '00:11:32:ab:cd:ef')
        self.enter(SN, 'mmmmmmmmmmmmm')
        box = self.click_update()
        self.assertEqual((box.caption, box.text), ('提示', CONFIRM))
        self.assertEqual(box.buttons, {IDYES, IDNO})
        self.app.screenshot('confirm')
        self.app.press(IDYES)
        box = self.app.dialog()
        self.assertEqual((box.caption, box.text), ('Quorvix', '更新成功!'))
        self.app.screenshot('updated')
        self.app.press(IDOK)
        self.assertEqual(self.vendor.read_bytes(), self.expected('001132ABCDEFAA', 'MMMMMMMMMMMMM', '100'))
        # The lines keep the values just written; nothing is pending any more.
        self.assertEqual(self.app.text(MAC), 'MAC:001132ABCDEF  效验:AA')
        self.assertEqual(self.app.text(SN), 'SN:MMMMMMMMMMMMM CHK:1001')
        box = self.click_update()
        self.assertEqual((box.caption, box.text), ('提示', NOTHING_PENDING))
        self.app.press(IDOK)

    def test_no_writes_nothing_and_the_next_click_asks_again(self):
        self.enter(SN, 'ABCDEFGHIJKLM')
        self.click_update()
        self.app.press(IDNO)
        self.app.no_dialog()
        self.assertEqual(self.vendor.read_bytes(), self.original)
        self.assertEqual(self.click_update().text, CONFIRM)
        self.app.press(IDYES)
        self.assertEqual(self.app.dialog().text, '更新成功!')
        self.app.press(IDOK)
        self.assertEqual(self.vendor.read_bytes(), self.expected(sn='ABCDEFGHIJKLM', sn_check='923'))

    def test_only_yes_writes_escape_and_the_close_box_change_nothing(self):
        self.enter(MAC, '001132ABCDEF')
        for how in ('escape', 'close box'):
            with self.subTest(how):
                self.click_update()
                if how == 'escape':
                    self.app.key(VK_ESCAPE)
                else:
                    self.app.ok('click-close dialog')
                self.app.wait_no_dialog()
                self.app.no_dialog()
                self.assertEqual(self.vendor.read_bytes(), self.original)
                self.assertEqual(self.app.text(MAC), 'MAC:001132ABCDEF  效验:AA')  # still pending
        self.confirm_update()
        self.assertEqual(self.vendor.read_bytes(), self.expected('001132ABCDEFAA'))

    def test_closing_the_window_while_the_confirmation_is_open_ends_the_program_and_writes_nothing(self):
        self.enter(MAC, '001132ABCDEF')
        self.click_update()
        self.app.screenshot('confirm-before-close')
        self.app.ok('close-main')
        self.assertTrue(self.app.gone(), 'the program is still running')
        self.assertEqual(self.vendor.read_bytes(), self.original)

    def test_nothing_pending_says_so(self):
        box = self.click_update()
        self.assertEqual((box.caption, box.text, box.buttons), ('提示', NOTHING_PENDING, {IDOK}))
        self.app.screenshot('nothing-pending')
        self.app.press(IDOK)
        self.assertEqual(self.vendor.read_bytes(), self.original)

    def test_a_file_another_program_holds_is_left_alone_until_it_lets_go(self):
        self.enter(MAC, '001132ABCDEF')
        holder = Probe()
        self.addCleanup(holder.close)
        self.assertEqual(holder.ask('hold ' + escape(wine_path(self.vendor))), 'ok')
        self.click_update()
        self.app.press(IDYES)
        box = self.app.dialog()
        self.assertEqual(box.caption, 'Err')
        self.assertTrue(box.text)
        self.app.screenshot('held')
        self.app.press(IDOK)
        self.assertEqual(self.vendor.read_bytes(), self.original)

        self.assertEqual(holder.ask('release'), 'ok')
        self.confirm_update()
        self.assertEqual(self.vendor.read_bytes(), self.expected('001132ABCDEFAA'))

    def test_a_file_truncated_since_loading_is_not_touched(self):
        self.enter(MAC, '001132ABCDEF')
        with open(self.vendor, 'r+b') as f:
            f.truncate(65535)
        self.click_update()
        self.app.press(IDYES)
        box = self.app.dialog()
        self.assertEqual(box.caption, 'Err')
        self.assertIn('65536', box.text)
        self.app.screenshot('truncated')
        self.app.press(IDOK)
        self.assertEqual(self.vendor.read_bytes(), self.original[:65535])
        self.assertEqual(os.path.getsize(self.vendor), 65535)


if __name__ == '__main__':
    main()
