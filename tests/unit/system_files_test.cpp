#include "files/system_files.h"

#include <gtest/gtest.h>

#include "files/utf8.h"
#include "tests/support/temp_folder.h"
#include "tests/support/vendor_bytes.h"

TEST(Utf8, RoundTripsEveryPathEvenWhenItIsNotUtf8) {
  const std::string cases[] = {"vendor.bin", "工具/固件 v2", "\xF0\x9F\x93\x9F.bin", "\xFF\xFE.bin",
                               "\xC0\xAF",   "\xE4\xB8",     "\xED\xA0\x80"};
  for (const std::string& utf8 : cases) {
    EXPECT_EQ(Utf8(Wide(utf8)), utf8);
  }
  EXPECT_EQ(Wide("工具"), L"工具");
  EXPECT_EQ(Wide("\xFF"), std::wstring(1, static_cast<wchar_t>(0xDCFF)));
  EXPECT_EQ(Utf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");  // a lone surrogate
}

TEST(SystemFiles, TellsNormalFilesAndLengthsAndNeverCreates) {
  TempFolder temp;
  SystemFiles files;
  WriteAll(temp.path() / "\xFF.bin", std::vector<std::uint8_t>(1000));
  std::filesystem::create_directory(temp.path() / "folder");
  const std::wstring file = WidePath(temp.path() / "\xFF.bin");
  const std::wstring folder = WidePath(temp.path() / "folder");
  const std::wstring missing = WidePath(temp.path() / "missing.bin");

  EXPECT_TRUE(files.Exists(file));
  EXPECT_FALSE(files.Exists(folder));
  EXPECT_FALSE(files.Exists(missing));
  EXPECT_EQ(*files.Length(file), 1000u);
  EXPECT_EQ(*files.Length(folder), 0u);
  ASSERT_FALSE(files.Length(missing));
  EXPECT_EQ(files.Length(missing).error().text, L"No such file or directory");
  for (Access access : {Access::read, Access::update}) {
    EXPECT_FALSE(files.Open(missing, access));
  }
  EXPECT_FALSE(std::filesystem::exists(temp.path() / "missing.bin"));
}

TEST(SystemFiles, ReadsAndWritesExactlyTheBytesAskedFor) {
  TempFolder temp;
  SystemFiles files;
  std::vector<std::uint8_t> bytes = VendorBytes("001132ABCDEFAA", "ABCDEFGHIJKLM", "923");
  WriteAll(temp.path() / "vendor.bin", bytes);
  const std::wstring path = WidePath(temp.path() / "vendor.bin");
  {
    Result<std::unique_ptr<ByteFile>> file = files.Open(path, Access::update);
    ASSERT_TRUE(file);
    EXPECT_EQ(*(*file)->Size(), 65536u);
    const std::uint8_t put[3] = {0xDE, 0xAD, 0x01};
    EXPECT_TRUE((*file)->Write(65533, put));
    EXPECT_TRUE((*file)->Flush());
    std::uint8_t got[3] = {};
    EXPECT_TRUE((*file)->Read(65533, got));
    EXPECT_EQ(std::vector<std::uint8_t>(got, got + 3), std::vector<std::uint8_t>(put, put + 3));

    std::uint8_t past[2] = {};
    ASSERT_FALSE((*file)->Read(65535, past));
    EXPECT_EQ((*file)->Read(65535, past).error().cause, Failure::Cause::shortRead);

    // While one program updates the file, a second may read it but not update it.
    EXPECT_TRUE(files.Open(path, Access::read));
    EXPECT_FALSE(files.Open(path, Access::update));
  }
  EXPECT_TRUE(files.Open(path, Access::update));
  bytes[65533] = 0xDE, bytes[65534] = 0xAD, bytes[65535] = 0x01;
  EXPECT_EQ(ReadAll(temp.path() / "vendor.bin"), bytes);
}
