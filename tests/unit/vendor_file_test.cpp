#include "vendor/vendor_file.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/unit/fake_files.h"
#include "vendor/entry.h"

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

namespace {

// One file in memory, whose k-th operation (counting from 0) can be made to
// fail, to fail half-way through a write or to read back one flipped byte;
// or every operation from the k-th on fails, as when the device is gone.
class MemoryFiles final : public Files {
 public:
  enum class Fault { none, fails, halfWritten, flipsRead, gone };
  std::vector<std::uint8_t> bytes;
  Fault fault = Fault::none;
  int faultAt = 0;

  bool Exists(const std::wstring&) override { return true; }
  Result<std::uint64_t> Length(const std::wstring&) override { return bytes.size(); }
  Result<std::unique_ptr<ByteFile>> Open(const std::wstring&, Access) override {
    return std::unique_ptr<ByteFile>(std::make_unique<File>(*this));
  }

 private:
  class File final : public ByteFile {
   public:
    explicit File(MemoryFiles& files) : files_(files) {}
    Result<std::uint64_t> Size() override {
      if (Faulted()) return SystemFailure(L"size");
      return files_.bytes.size();
    }
    Result<> Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
      const bool faulted = Faulted();
      if (faulted && files_.fault != Fault::flipsRead) return SystemFailure(L"read");
      std::copy_n(files_.bytes.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
      if (faulted) out[0] ^= 0x40;
      return {};
    }
    Result<> Write(std::uint64_t offset, std::span<const std::uint8_t> in) override {
      const bool faulted = Faulted();
      const std::size_t count = !faulted ? in.size() : files_.fault == Fault::halfWritten ? in.size() / 2 : 0;
      std::copy_n(in.begin(), count, files_.bytes.begin() + static_cast<std::ptrdiff_t>(offset));
      if (faulted && files_.fault != Fault::flipsRead) return SystemFailure(L"write");
      return {};
    }
    Result<> Flush() override {
      if (Faulted() && files_.fault != Fault::flipsRead) return SystemFailure(L"flush");
      return {};
    }

   private:
    bool Faulted() {
      const int operation = operation_++;
      if (files_.fault == Fault::gone) return operation >= files_.faultAt;
      return files_.fault != Fault::none && operation == files_.faultAt;
    }
    MemoryFiles& files_;
    int operation_ = 0;
  };
};

}  // namespace

TEST(WriteEdits, OnlyTheFieldBytesEverDifferAndTheReportIsTrueForRandomFilesEditsAndFaults) {
  using Fault = MemoryFiles::Fault;
  std::mt19937 random(20261208);
  const std::wstring hex = L"0123456789ABCDEF", sn = L"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  auto pick = [&](const std::wstring& alphabet, std::size_t length) {
    std::wstring text;
    for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    return text;
  };
  const std::vector<std::uint8_t> filler = VendorBytes("00000000000000", "", "");
  for (int round = 0; round < 10000; ++round) {
    SCOPED_TRACE(round);
    MemoryFiles files;
    // Random where the fields lie, a filler beyond; now and then one byte short.
    files.bytes = filler;
    if (round % 97 == 0) files.bytes.pop_back();
    for (std::size_t i = 0; i < 64; ++i) files.bytes[i] = static_cast<std::uint8_t>(random());
    const std::vector<std::uint8_t> original = files.bytes;
    files.fault = static_cast<Fault>(random() % 5);
    files.faultAt = static_cast<int>(random() % 12);

    EditState edits{L"vendor.bin", {}, {}, {}};
    const bool withMac = round % 3 != 1, withSn = round % 3 != 0;
    if (withMac) PendMac(edits, pick(hex, 12));
    if (withSn) PendSn(edits, pick(sn, 13));

    const WriteReport report = WriteEdits(files, edits);

    std::vector<std::uint8_t> expected = original;
    if (withMac) {
      for (std::size_t i = 0; i < 7; ++i)
        expected[i] = *VendorLayout::HexByteValue(edits.NewMAC.substr(2 * i, 2));
    }
    if (withSn) {
      std::copy(edits.NewSN.begin(), edits.NewSN.end(), expected.begin() + 35);
      std::copy_n(edits.NewSNChk.begin(), 3, expected.begin() + 53);
    }
    ASSERT_TRUE(std::equal(files.bytes.begin() + 56, files.bytes.end(), original.begin() + 56));
    for (std::size_t i = 0; i < 56; ++i) {
      if (files.bytes[i] != original[i]) {
        ASSERT_EQ(files.bytes[i], expected[i]) << "offset " << i;
      }
    }
    if (report.written) {
      EXPECT_EQ(files.bytes, expected);
    } else if (report.restore != Restore::failed) {
      EXPECT_EQ(files.bytes, original);
    }  // failed: the old bytes did not all read back, or could not be read at all
  }
}
