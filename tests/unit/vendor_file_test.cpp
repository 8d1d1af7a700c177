#include "vendor/vendor_file.h"

#include <gtest/gtest.h>

#include "tests/unit/fake_files.h"

TEST(ReadFields, ReadsTheFourFieldsOfAFileOfExactlyTheVendorSize) {
  struct Case {
    std::size_t size;
    bool read;
  };
  for (const Case& c : {Case{65536, true}, Case{65535, false}, Case{65537, false}, Case{40, false}}) {
    SCOPED_TRACE(c.size);
    TempFolder temp;
    FakeFiles files;
    WriteAll(temp.path() / "a.bin", c.size < 56 ? std::vector<std::uint8_t>(c.size)
                                                : VendorBytes("001132ABCDEF0A", "MMMMMMMMMMMMM",
                                                              "1\x01"
                                                              "0",
                                                              c.size));

    Result<StoredFields> fields = ReadFields(files, WidePath(temp.path() / "a.bin"));

    ASSERT_EQ(fields.has_value(), c.read);
    if (!c.read) {
      EXPECT_EQ(fields.error().cause, Failure::Cause::notVendorFile);
      continue;
    }
    EXPECT_EQ(fields->mac, (VendorLayout::MacBytes{0x00, 0x11, 0x32, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(fields->macCheck, 0x0A);
    EXPECT_EQ(fields->sn,
              (VendorLayout::SnBytes{'M', 'M', 'M', 'M', 'M', 'M', 'M', 'M', 'M', 'M', 'M', 'M', 'M'}));
    EXPECT_EQ(fields->snCheck, (VendorLayout::SnChkBytes{'1', 0x01, '0'}));
  }
}

TEST(ReadFields, AFileThatCannotBeOpenedGivesTheSystemsWords) {
  TempFolder temp;
  FakeFiles files;
  Result<StoredFields> fields = ReadFields(files, WidePath(temp.path() / "gone.bin"));
  ASSERT_FALSE(fields);
  EXPECT_EQ(fields.error().cause, Failure::Cause::system);
  EXPECT_EQ(fields.error().text, L"No such file or directory");
}

TEST(WriteEdits, AnEditTheEntryNeverMakesIsRefusedBeforeTheFileIsOpened) {
  TempFolder temp;
  FakeFiles files;
  WriteAll(temp.path() / "vendor.bin", VendorBytes("001132ABCDEFAA", "ABCDEFGHIJKLM", "923"));
  for (const auto& [mac, sn, check] :
       {std::tuple{L"00113G000000AA", L"", L""}, std::tuple{L"", L"ABCDEFGHIJKL\u00C9", L"990"},
        std::tuple{L"", L"ABCDEFGHIJKLM", L"92"}}) {
    const EditState edits{WidePath(temp.path() / "vendor.bin"), mac, sn, check};
    const WriteReport report = WriteEdits(files, edits);
    ASSERT_FALSE(report.written);
    EXPECT_EQ(report.written.error().cause, Failure::Cause::invalidEdits);
    EXPECT_EQ(report.restore, Restore::notNeeded);
  }
  EXPECT_EQ(files.opens, 0);
}
