#!/usr/bin/env python3
"""The exe works end to end, in one start: it shows the vendor file beside
it, takes one entry, and a Yes on Update changes exactly the expected bytes.
The one window suite that still runs where the exe runs slowly (i686 under
emulation)."""
from harness import IDOK, IDYES, MAC, UPDATE, QuorvixTest, main, vendor_bytes, with_fields


class Smoke(QuorvixTest):
    def test_shows_the_file_takes_an_entry_and_writes_it(self):
        original = vendor_bytes(mac='0102030405060F')
        vendor = self.put_vendor(original)
        app = self.start()
        self.assertEqual(app.wait_text(MAC, 'MAC:010203040506  效验:0F'), 'MAC:010203040506  效验:0F')
        app.screenshot('loaded')

        app.click(MAC)
        self.assertEqual(app.dialog().caption, 'update_MAC')
        app.type('00:11:32:ab:cd:ef')
        app.press(IDOK)
        self.assertEqual(app.wait_text(MAC, 'MAC:001132ABCDEF  效验:AA'), 'MAC:001132ABCDEF  效验:AA')

        app.click(UPDATE)
        self.assertEqual(app.dialog().text, '确定要更新SN或MAC信息吗？')
        app.press(IDYES)
        self.assertEqual(app.dialog().text, '更新成功!')
        app.screenshot('updated')
        app.press(IDOK)
        self.assertEqual(vendor.read_bytes(), bytes(with_fields(original, mac='001132ABCDEFAA')))


if __name__ == '__main__':
    main()
