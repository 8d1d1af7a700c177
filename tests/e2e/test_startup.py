#!/usr/bin/env python3
"""Start-up: the program finds vendor.bin beside itself and shows its fields."""
import subprocess

from harness import (session, DESIGN_HINT, EXIT, HINT, IDOK, LOADED_HINT, MAC, SN, UPDATE, Probe, QuorvixTest,
                     escape, main, vendor_bytes, wine_env, wine_path)


class Startup(QuorvixTest):
    def test_a_vendor_file_beside_the_program_is_shown(self):
        self.put_vendor(vendor_bytes())
        app = self.start()
        self.assertEqual(app.wait_text(MAC, 'MAC:001132ABCDEF  效验:AA'), 'MAC:001132ABCDEF  效验:AA')
        self.assertEqual(app.text(SN), 'SN:ABCDEFGHIJKLM CHK:923')
        self.assertEqual(app.text(HINT), LOADED_HINT)
        self.assertTrue(app.enabled(UPDATE))
        self.assertEqual(app.ok('caption'), 'Quorvix_V3.0')
        app.screenshot('loaded')

    def test_without_a_vendor_file_the_window_waits_for_a_drop(self):
        for name, data in (('no file', None), ('65,535 bytes', vendor_bytes(size=65535)),
                           ('65,537 bytes', vendor_bytes(size=65537))):
            with self.subTest(name):
                (self.folder / 'vendor.bin').unlink(missing_ok=True)
                if data:
                    self.put_vendor(data)
                app = self.start()
                app.no_dialog()
                self.assertEqual(app.text(MAC), 'MAC')
                self.assertEqual(app.text(SN), 'SN')
                self.assertEqual(app.text(HINT), DESIGN_HINT)
                self.assertFalse(app.enabled(UPDATE))
                self.assertTrue(app.enabled(EXIT))
                app.screenshot(name.replace(',', '').replace(' ', '-'))
                app.close()

    def test_unprintable_bytes_never_cut_a_line_short(self):
        data = vendor_bytes()
        data[35:48] = b'AB\x00CD\x01\x7fEFGHIJ'
        data[53:56] = b'9\x002'
        self.put_vendor(data)
        app = self.start()
        app.wait_text(MAC, 'MAC:001132ABCDEF  效验:AA')
        self.assertEqual(app.text(SN), 'SN:AB\ufffdCD\ufffd\ufffdEFGHIJ CHK:9\ufffd2')
        app.screenshot('unprintable')

    def test_a_folder_with_a_chinese_name_works(self):
        self.folder = self.folder / '工具' / '固件 v2'
        self.folder.mkdir(parents=True)
        self.put_vendor(vendor_bytes(mac='00000000000101'))
        app = self.start()
        self.assertEqual(app.wait_text(MAC, 'MAC:000000000001  效验:01'), 'MAC:000000000001  效验:01')
        self.assertTrue(app.enabled(UPDATE))

    def test_a_folder_path_longer_than_max_path_works(self):
        self.folder = self.folder / ('长文件夹名' * 15) / ('long folder name ' * 10).strip() / ('更深一层' * 15)
        self.folder.mkdir(parents=True)
        self.assertGreater(len(str(self.folder)), 260)
        self.put_vendor(vendor_bytes(mac='00000000000101'))
        app = self.start()
        self.assertEqual(app.wait_text(MAC, 'MAC:000000000001  效验:01'), 'MAC:000000000001  效验:01')
        self.assertTrue(app.enabled(UPDATE))

    def test_a_hidden_vendor_file_or_a_folder_of_that_name_is_not_loaded(self):
        for name in ('hidden file', 'folder'):
            with self.subTest(name):
                path = self.folder / 'vendor.bin'
                if path.is_dir():
                    path.rmdir()
                if name == 'folder':
                    path.unlink(missing_ok=True)
                    path.mkdir()
                else:
                    self.put_vendor(vendor_bytes())
                    subprocess.run([session.WINE, 'cmd', '/c', 'attrib', '+h', wine_path(path)], env=wine_env(),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
                    listed = subprocess.run([session.WINE, 'cmd', '/c', 'attrib', wine_path(path)], env=wine_env(),
                                            stdin=subprocess.DEVNULL, capture_output=True, text=True).stdout
                    if 'H' not in listed.split('Z:')[0]:
                        self.skipTest('this file system keeps no hidden attribute for Wine')
                app = self.start()
                app.no_dialog()
                self.assertEqual(app.text(MAC), 'MAC')
                self.assertFalse(app.enabled(UPDATE))
                app.close()

    def test_a_vendor_file_another_program_holds_is_reported(self):
        path = self.put_vendor(vendor_bytes())
        holder = Probe()
        self.addCleanup(holder.close)
        self.assertEqual(holder.ask('hold ' + escape(wine_path(path))), 'ok')
        app = self.start()
        box = app.dialog()
        self.assertIsNotNone(box)
        self.assertEqual(box.caption, 'Err')
        self.assertTrue(box.text, 'no description of the failure')
        app.screenshot('locked')
        app.press(IDOK)
        self.assertEqual(app.text(MAC), 'MAC')
        self.assertFalse(app.wait_enabled(UPDATE, False))


if __name__ == '__main__':
    main()
