#!/usr/bin/env python3
"""Entry: clicking a line asks for a new value and shows it as a pending edit."""
from harness import (IDCANCEL, IDOK, MAC, SN, UPDATE, VK_ESCAPE, VK_RETURN, QuorvixTest, main,
                     vendor_bytes)

MAC_PROMPT = '请输入新正确的MAC信息不区分大小写\r\n推荐前6位为是001132开头,总长度为12位'
SN_PROMPT = '请输入新正确的SN信息不区分大小写\r\nSN总长度为13位'


class Entry(QuorvixTest):
    def setUp(self):
        super().setUp()
        self.original = vendor_bytes()
        self.vendor = self.put_vendor(self.original)
        self.app = self.start()
        self.app.wait_text(MAC, 'MAC:001132ABCDEF  效验:AA')

    def ask(self, line, caption, prompt, default):
        self.app.click(line)
        box = self.app.dialog()
        self.assertIsNotNone(box, 'no input box')
        self.assertEqual(box.caption, caption)
        self.assertEqual(box.text, prompt)
        self.assertTrue({IDOK, IDCANCEL} <= box.buttons)
        self.assertEqual(self.app.ok('dialog-edit'), default)
        return box

    def test_a_mac_typed_with_colons_in_lower_case_shows_upper_case_with_its_check(self):
        self.ask(MAC, 'update_MAC', MAC_PROMPT, '001132')
        self.app.screenshot('mac-input-box')
        self.app.type('00:11:32:ab:cd:e0')  # replaces the selected default text
        self.app.screenshot('mac-typed')
        self.app.press(IDOK)
        self.assertEqual(self.app.text(MAC), 'MAC:001132ABCDE0  效验:9B')
        self.app.screenshot('mac-pending')
        self.assertEqual(self.vendor.read_bytes(), self.original)  # nothing written yet

    def test_an_sn_confirmed_with_enter_shows_its_whole_four_digit_check(self):
        self.ask(SN, 'update_SN', SN_PROMPT, '')
        self.app.type('mmmmmmmmmmmmm')
        self.app.key(VK_RETURN)
        self.app.wait_no_dialog()
        self.assertEqual(self.app.text(SN), 'SN:MMMMMMMMMMMMM CHK:1001')
        self.assertTrue(self.app.enabled(UPDATE))
        self.app.screenshot('sn-pending')

    def test_alt_m_and_alt_s_open_the_input_boxes(self):
        for key, caption in ((ord('M'), 'update_MAC'), (ord('S'), 'update_SN')):
            with self.subTest(caption):
                self.app.ok(f'alt-key {key}')
                box = self.app.dialog()
                self.assertIsNotNone(box, 'no input box')
                self.assertEqual(box.caption, caption)
                self.app.press(IDCANCEL)
                self.app.no_dialog()

    def test_wrong_values_are_refused_with_the_reason(self):
        cases = [
            (MAC, '00-11-32-AB-CD-EF', '您输入的MAC信息不规范,请输入正确的MAC信息'),
            (MAC, '001132ABCDEG', '您输入的MAC信息不规范,请输入正确的MAC信息'),
            (SN, 'ABCDEFGHIJKL', '您输入的SN信息不规范,请输入正确的SN信息'),
            (SN, 'ABCDEFGH\u0131JKLM', '您输入的SN信息不规范,请输入正确的SN信息'),
            (SN, 'A' * 3000, '您输入的SN信息不规范,请输入正确的SN信息'),  # a long paste
        ]
        for line, typed, message in cases:
            with self.subTest(typed=typed[:20]):
                before = self.app.text(line)
                self.app.click(line)
                self.assertIsNotNone(self.app.dialog())
                self.app.type(typed)
                self.app.press(IDOK)
                box = self.app.dialog()
                self.assertIsNotNone(box, 'no refusal')
                self.assertEqual((box.caption, box.text), ('错误', message))
                self.assertEqual(box.buttons, {IDOK})
                if typed == '00-11-32-AB-CD-EF':
                    self.app.screenshot('refused')
                self.app.press(IDOK)
                self.assertEqual(self.app.text(line), before)

    def test_cancel_escape_and_only_separators_change_nothing_silently(self):
        for how in ('cancel', 'escape', 'separators'):
            with self.subTest(how):
                self.app.click(MAC)
                self.assertIsNotNone(self.app.dialog())
                if how == 'cancel':
                    self.app.press(IDCANCEL)
                elif how == 'escape':
                    self.app.key(VK_ESCAPE)
                    self.app.wait_no_dialog()
                else:
                    self.app.type(' : ： ')
                    self.app.press(IDOK)
                self.app.no_dialog()
                self.assertEqual(self.app.text(MAC), 'MAC:001132ABCDEF  效验:AA')


if __name__ == '__main__':
    main()
