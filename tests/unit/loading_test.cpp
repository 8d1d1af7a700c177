#include "vendor/handlers/loading.h"

#include <gtest/gtest.h>

#include "tests/support/fake_view.h"
#include "tests/support/vendor_bytes.h"
#include "vendor/handlers/texts.h"

namespace {

const std::wstring kDesignHint = L"将要修改的文件托进来";

struct Fixture {
  FakeView view;
  FakePlatform platform;
  EditState state;
  Fixture() { platform.folder = L"C:\\Tools"; }
  std::wstring Path(const std::wstring& name) const { return platform.folder + L"\\" + name; }
  std::wstring Put(const std::wstring& name, const std::vector<std::uint8_t>& bytes) {
    platform.disk.Put(Path(name), bytes);
    return Path(name);
  }
};

std::vector<std::uint8_t> SampleFile(std::size_t size = 65536) {
  return VendorBytes("001132ABCDEFAA", "ABCDEFGHIJKLM", "923", size);
}

}  // namespace

TEST(StartupLoad, LoadsOnlyANormalFileOfExactlyTheVendorSize) {
  enum class Setup { none, file, hidden, folder, unreadable };
  struct Case {
    const char* name;
    Setup setup;
    std::size_t size;
    bool loaded;
    bool binPathSet;
    bool failureShown;
  };
  const Case cases[] = {
      {"no file", Setup::none, 0, false, false, false},
      {"exact size", Setup::file, 65536, true, true, false},
      {"one byte short", Setup::file, 65535, false, true, false},
      {"one byte long", Setup::file, 65537, false, true, false},
      {"empty", Setup::file, 0, false, true, false},
      {"hidden", Setup::hidden, 65536, false, false, false},
      {"folder", Setup::folder, 0, false, false, false},
      {"unreadable", Setup::unreadable, 65536, false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    const std::wstring path = f.platform.folder + L"\\vendor.bin";  // as the program builds it
    switch (c.setup) {
      case Setup::none:
        break;
      case Setup::folder:
        f.platform.disk.PutFolder(path);
        break;
      case Setup::hidden:
        f.Put(L"vendor.bin", SampleFile(c.size));
        f.platform.disk.Hide(path);
        break;
      case Setup::unreadable:
        f.platform.files.openFails[path] = L"The process cannot access the file.";
        f.Put(L"vendor.bin", SampleFile(c.size));
        break;
      case Setup::file:
        f.Put(L"vendor.bin", c.size >= 56 ? SampleFile(c.size) : std::vector<std::uint8_t>(c.size));
        break;
    }

    Form_Activate(f.view, f.platform, f.state);

    EXPECT_EQ(f.view.updateEnabled, c.loaded);
    EXPECT_EQ(f.state.BinPath, c.binPathSet ? path : L"");
    EXPECT_EQ(f.view.lines[Label::lbl], c.loaded ? Texts::kLoadedHint : kDesignHint);
    EXPECT_EQ(f.view.lines[Label::MAC], c.loaded ? L"MAC:001132ABCDEF  效验:AA" : L"MAC");
    EXPECT_EQ(f.view.lines[Label::SN], c.loaded ? L"SN:ABCDEFGHIJKLM CHK:923" : L"SN");
    if (c.failureShown) {
      ASSERT_EQ(f.view.boxes.size(), 1u);
      EXPECT_EQ(f.view.boxes[0].text, L"The process cannot access the file.");
      EXPECT_EQ(f.view.boxes[0].title, Texts::kFailureTitle);
      EXPECT_EQ(f.view.boxes[0].style, BoxStyle::critical);
    } else {
      EXPECT_TRUE(f.view.boxes.empty());
    }
  }
}

TEST(StartupLoad, FindsTheFileInAFolderWithAChineseName) {
  Fixture f;
  f.platform.folder = L"D:\\工具\\固件 v2";
  f.Put(L"vendor.bin", SampleFile());

  Form_Activate(f.view, f.platform, f.state);

  EXPECT_TRUE(f.view.updateEnabled);
  EXPECT_EQ(f.state.BinPath, L"D:\\工具\\固件 v2\\vendor.bin");
  EXPECT_EQ(f.view.lines[Label::MAC], L"MAC:001132ABCDEF  效验:AA");
}

TEST(StartupLoad, WithoutTheProgramsFolderLooksNowhere) {
  Fixture f;
  f.platform.folder.clear();  // the system could not say where the program is
  Form_Activate(f.view, f.platform, f.state);
  EXPECT_TRUE(f.platform.disk.looked.empty());
  EXPECT_TRUE(f.state.BinPath.empty());
  EXPECT_FALSE(f.view.updateEnabled);
  EXPECT_TRUE(f.view.boxes.empty());
}

TEST(RedBin, ShowsTheStoredFieldsAndChecksAsTheyStand) {
  struct Case {
    const char* mac;
    const char* sn;
    const char* snCheck;
    const wchar_t* macLine;
    const wchar_t* snLine;
  };
  const Case cases[] = {
      {"001132ABCDEFAA", "ABCDEFGHIJKLM", "923", L"MAC:001132ABCDEF  效验:AA", L"SN:ABCDEFGHIJKLM CHK:923"},
      {"00000000000000", "0000000000000", "624", L"MAC:000000000000  效验:00", L"SN:0000000000000 CHK:624"},
      // Checks that do not match their fields are shown, not judged.
      {"0102030405060F", "ZZZZZZZZZZZZZ", "999", L"MAC:010203040506  效验:0F", L"SN:ZZZZZZZZZZZZZ CHK:999"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mac);
    Fixture f;
    f.state.BinPath = f.Put(L"any.name", VendorBytes(c.mac, c.sn, c.snCheck));
    ASSERT_TRUE(RedBin(f.view, f.platform, f.state));
    EXPECT_EQ(f.view.lines[Label::MAC], c.macLine);
    EXPECT_EQ(f.view.lines[Label::SN], c.snLine);
  }
}

TEST(RedBin, BytesOutsideTheFieldsNeverShow) {
  Fixture f;
  std::vector<std::uint8_t> bytes = SampleFile();
  const std::wstring path = f.Put(L"a.bin", bytes);
  f.state.BinPath = path;
  ASSERT_TRUE(RedBin(f.view, f.platform, f.state));
  const auto shown = f.view.lines;

  for (std::size_t i = 7; i < 35; ++i) bytes[i] ^= 0xFF;
  for (std::size_t i = 48; i < 53; ++i) bytes[i] ^= 0xFF;
  for (std::size_t i = 56; i < bytes.size(); ++i) bytes[i] ^= 0xFF;
  f.Put(L"a.bin", bytes);
  ASSERT_TRUE(RedBin(f.view, f.platform, f.state));
  EXPECT_EQ(f.view.lines, shown);
}

TEST(RedBin, EveryByteShowsAsOneVisibleCharacter) {
  Fixture f;
  std::vector<std::uint8_t> bytes = SampleFile();
  const std::uint8_t sn[13] = {0x00, 'A', 0x0A, 0x1F, 0x7F, 0x81, 0x9F, 0xA0, 0xE9, 'Z', 0x0D, 0x09, '9'};
  std::copy(std::begin(sn), std::end(sn), bytes.begin() + 35);
  bytes[53] = 0x00;
  bytes[54] = '1';
  bytes[55] = 0x81;
  f.platform.leadBytes = {0x81};
  f.state.BinPath = f.Put(L"a.bin", bytes);

  ASSERT_TRUE(RedBin(f.view, f.platform, f.state));
  EXPECT_EQ(f.view.lines[Label::SN],
            L"SN:\uFFFDA\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\u00A0\u00E9Z\uFFFD\uFFFD9 CHK:\uFFFD1\uFFFD");
}

TEST(RedBin, DropsPendingEditsOnlyWhenTheFileWasRead) {
  Fixture f;
  f.state.BinPath = f.Put(L"a.bin", SampleFile());
  f.state.NewMAC = MacOf(L"000000000001");
  f.state.NewSN = SnOf(L"MMMMMMMMMMMMM");
  f.view.lines[Label::MAC] = L"MAC:000000000001  效验:01";

  f.platform.files.openFails[f.state.BinPath] = L"locked";
  EXPECT_FALSE(RedBin(f.view, f.platform, f.state));
  EXPECT_EQ(PendingMac(f.state), L"00000000000101");
  EXPECT_EQ(PendingSnCheck(f.state), L"1001");
  EXPECT_EQ(f.view.lines[Label::MAC], L"MAC:000000000001  效验:01");
  EXPECT_EQ(f.view.lines[Label::SN], L"SN");

  f.platform.files.openFails.clear();
  EXPECT_TRUE(RedBin(f.view, f.platform, f.state));
  EXPECT_FALSE(f.state.Pending());
  EXPECT_EQ(f.view.lines[Label::MAC], L"MAC:001132ABCDEF  效验:AA");
}

TEST(RedBin, AFileShorterThanItsFieldsFailsWithoutShowingAnything) {
  Fixture f;
  f.state.BinPath = f.Put(L"a.bin", std::vector<std::uint8_t>(40));
  EXPECT_FALSE(RedBin(f.view, f.platform, f.state));
  EXPECT_EQ(f.view.lines[Label::MAC], L"MAC");
  ASSERT_EQ(f.view.boxes.size(), 1u);
  EXPECT_EQ(f.view.boxes[0].title, Texts::kFailureTitle);
}

TEST(Drop, AcceptsExactlyOneFileOfTheVendorSize) {
  enum class Drop { nothing, one, two, folder, missing };
  struct Case {
    const char* name;
    Drop drop;
    std::size_t size;
    bool accepted;
  };
  const Case cases[] = {
      {"one vendor file, any name", Drop::one, 65536, true},
      {"one byte short", Drop::one, 65535, false},
      {"one byte long", Drop::one, 65537, false},
      {"a small file", Drop::one, 1000, false},
      {"two vendor files", Drop::two, 65536, false},
      {"no file", Drop::nothing, 0, false},
      {"a folder", Drop::folder, 0, false},
      {"a file that vanished", Drop::missing, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    // A file was loaded at start-up and edits are pending.
    f.Put(L"vendor.bin", SampleFile());
    Form_Activate(f.view, f.platform, f.state);
    f.state.NewMAC = MacOf(L"000000000001");
    f.state.NewSN = SnOf(L"MMMMMMMMMMMMM");
    const std::wstring loadedPath = f.state.BinPath;

    std::vector<std::wstring> files;
    const std::vector<std::uint8_t> other = VendorBytes("00000000000101", "0000000000000", "624");
    switch (c.drop) {
      case Drop::nothing:
        break;
      case Drop::one:
        files = {f.Put(L"固件 v2.dat", c.size >= 56
                                           ? VendorBytes("00000000000101", "0000000000000", "624", c.size)
                                           : std::vector<std::uint8_t>(c.size))};
        break;
      case Drop::two:
        files = {f.Put(L"one.bin", other), f.Put(L"two.bin", other)};
        break;
      case Drop::folder:
        f.platform.disk.PutFolder(f.Path(L"folder"));
        files = {f.Path(L"folder")};
        break;
      case Drop::missing:
        files = {f.Path(L"gone.bin")};
        break;
    }

    Form_OLEDragDrop(f.view, f.platform, f.state, files);

    EXPECT_EQ(f.view.updateEnabled, c.accepted);
    EXPECT_EQ(f.view.lines[Label::lbl], Texts::kLoadedHint);  // a drop never changes it
    EXPECT_EQ(f.state.BinPath, files.size() == 1 ? files[0] : loadedPath);
    if (c.accepted) {
      EXPECT_TRUE(f.view.boxes.empty());
      EXPECT_EQ(f.view.lines[Label::MAC], L"MAC:000000000001  效验:01");
      EXPECT_EQ(f.view.lines[Label::SN], L"SN:0000000000000 CHK:624");
      EXPECT_FALSE(f.state.Pending());
    } else {
      ASSERT_EQ(f.view.boxes.size(), 1u);
      EXPECT_EQ(f.view.boxes[0].text, Texts::kDropRefused);
      EXPECT_EQ(f.view.boxes[0].title, Texts::kErrorTitle);
      EXPECT_EQ(f.view.boxes[0].style, BoxStyle::information);
      EXPECT_EQ(f.view.lines[Label::MAC], L"MAC:001132ABCDEF  效验:AA");
      EXPECT_EQ(PendingSnCheck(f.state), L"1001");  // pending edits wait for the next load
    }
  }
}

TEST(Drop, ARefusedDropThenAVendorFileLoadsAgain) {
  Fixture f;
  Form_OLEDragDrop(f.view, f.platform, f.state, {f.Put(L"small.bin", std::vector<std::uint8_t>(1000))});
  EXPECT_FALSE(f.view.updateEnabled);
  EXPECT_EQ(f.view.lines[Label::MAC], L"MAC");
  EXPECT_EQ(f.view.lines[Label::lbl], kDesignHint);

  Form_OLEDragDrop(f.view, f.platform, f.state, {f.Put(L"good.bin", SampleFile())});
  EXPECT_TRUE(f.view.updateEnabled);
  EXPECT_EQ(f.view.lines[Label::MAC], L"MAC:001132ABCDEF  效验:AA");
  EXPECT_EQ(f.view.boxes.size(), 1u);
}

TEST(Drop, AVendorFileThatCannotBeReadShowsWhyAndDisablesUpdate) {
  Fixture f;
  f.Put(L"vendor.bin", SampleFile());
  Form_Activate(f.view, f.platform, f.state);
  const std::wstring locked = f.Put(L"locked.bin", VendorBytes("00000000000101", "0000000000000", "624"));
  f.platform.files.openFails[locked] = L"The file is in use.";

  Form_OLEDragDrop(f.view, f.platform, f.state, {locked});

  EXPECT_FALSE(f.view.updateEnabled);
  ASSERT_EQ(f.view.boxes.size(), 1u);
  EXPECT_EQ(f.view.boxes[0].text, L"The file is in use.");
  EXPECT_EQ(f.view.boxes[0].title, Texts::kFailureTitle);
  EXPECT_EQ(f.view.lines[Label::MAC], L"MAC:001132ABCDEF  效验:AA");
}
