#include "vendor/vendor_file.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "tests/unit/fake_files.h"
#include "tests/unit/fake_view.h"

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

namespace {

// The process ends at once: killed, or the machine lost its power.
struct Died {};

// One file in memory, whose k-th operation (counting from 0) can be made to
// fail, to fail half-way through a write or to read back one flipped byte;
// or every operation from the k-th on fails, as when the device is gone. Or
// the process dies at its n-th write: before it, after it, or, for a write
// that crosses a sector boundary, with only the part before one on the device.
class MemoryFiles final : public Files {
 public:
  enum class Fault { none, fails, halfWritten, flipsRead, gone };
  enum class Death { none, beforeWrite, afterWrite, tornWrite };
  static constexpr std::size_t kSector = 512;
  std::vector<std::uint8_t> bytes;
  Fault fault = Fault::none;
  int faultAt = 0;
  Death death = Death::none;
  int deathAt = 0;  // the write, counting from 0
  int writes = 0;

  bool Exists(const std::wstring&) override { return true; }
  Result<std::uint64_t> Length(const std::wstring&) override { return bytes.size(); }
  Result<std::unique_ptr<ByteFile>> Open(const std::wstring&, Access) override {
    return std::unique_ptr<ByteFile>(std::make_unique<File>(*this));
  }
  // The writer of a vendor file makes, names and appends to no file.
  Result<std::unique_ptr<ByteFile>> Create(const std::wstring&) override { throw std::logic_error("Create"); }
  Result<> Publish(const std::wstring&, const std::wstring&) override { throw std::logic_error("Publish"); }
  Result<> Remove(const std::wstring&) override { throw std::logic_error("Remove"); }
  Result<> Append(const std::wstring&, std::string_view) override { throw std::logic_error("Append"); }

  // Puts the bytes on the device, or dies on the way.
  void Store(std::uint64_t offset, std::span<const std::uint8_t> in) {
    const auto at = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    if (death == Death::none || writes++ != deathAt) return void(std::copy(in.begin(), in.end(), at));
    if (death == Death::afterWrite) std::copy(in.begin(), in.end(), at);
    const std::size_t boundary = (offset + in.size() - 1) / kSector * kSector;
    if (death == Death::tornWrite && boundary > offset) std::copy_n(in.begin(), boundary - offset, at);
    throw Died{};
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
      files_.Store(offset, in.first(count));
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

// A random MAC, SN or both, as the entry makes them, by the round.
void PendRandomEdits(EditState& edits, std::mt19937& random, int round) {
  auto pick = [&](const std::wstring& alphabet, std::size_t length) {
    std::wstring text;
    for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    return text;
  };
  if (round % 3 != 1) edits.NewMAC = MacOf(pick(L"0123456789ABCDEF", 12));
  if (round % 3 != 0) edits.NewSN = SnOf(pick(L"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ", 13));
}

}  // namespace

TEST(WriteEdits, OnlyTheFieldBytesEverDifferAndTheReportIsTrueForRandomFilesEditsAndFaults) {
  using Fault = MemoryFiles::Fault;
  std::mt19937 random(20261208);
  auto expectedAfter = [](std::vector<std::uint8_t> bytes, const EditState& edits) {
    if (edits.NewMAC) {
      std::copy(edits.NewMAC->mac().begin(), edits.NewMAC->mac().end(), bytes.begin());
      bytes[6] = edits.NewMAC->check();
    }
    if (edits.NewSN) {
      std::copy(edits.NewSN->sn().begin(), edits.NewSN->sn().end(), bytes.begin() + 35);
      const VendorLayout::SnChkBytes check = edits.NewSN->check();
      std::copy(check.begin(), check.end(), bytes.begin() + 53);
    }
    return bytes;
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

    EditState edits{L"vendor.bin", {}, {}};
    PendRandomEdits(edits, random, round);

    const WriteReport report = WriteEdits(files, edits);

    const std::vector<std::uint8_t> expected = expectedAfter(original, edits);
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

TEST(WriteEdits, KilledAtAnyInstantTheFileHoldsAllItsOldFieldsOrAllItsNewOnes) {
  using Death = MemoryFiles::Death;
  std::mt19937 random(20261209);
  // The field bytes, or the other bytes among the first 56.
  auto part = [](const std::vector<std::uint8_t>& bytes, bool ofFields) {
    std::vector<std::uint8_t> taken;
    for (std::size_t i = 0; i < 56; ++i) {
      const bool field = i < 7 || (i >= 35 && i < 48) || (i >= 53 && i < 56);
      if (field == ofFields) taken.push_back(bytes[i]);
    }
    return taken;
  };
  const std::vector<std::uint8_t> filler = VendorBytes("00000000000000", "", "");
  int died = 0;
  for (int round = 0; round < 10000; ++round) {
    SCOPED_TRACE(round);
    MemoryFiles files;
    files.bytes = filler;
    for (std::size_t i = 0; i < 64; ++i) files.bytes[i] = static_cast<std::uint8_t>(random());
    const std::vector<std::uint8_t> original = files.bytes;
    files.death = static_cast<Death>(1 + random() % 3);
    files.deathAt = static_cast<int>(random() % 4);
    EditState edits{L"vendor.bin", {}, {}};
    PendRandomEdits(edits, random, round);

    MemoryFiles done;
    done.bytes = original;
    ASSERT_TRUE(WriteEdits(done, edits).written);
    try {
      (void)WriteEdits(files, edits);
    } catch (const Died&) {
      ++died;
    }

    const std::vector<std::uint8_t> now = part(files.bytes, true);
    EXPECT_TRUE(now == part(original, true) || now == part(done.bytes, true))
        << "died at write " << files.deathAt;
    EXPECT_EQ(part(files.bytes, false), part(original, false));
    EXPECT_TRUE(std::equal(files.bytes.begin() + 56, files.bytes.end(), original.begin() + 56));
    if (HasFailure()) break;
  }
  EXPECT_GT(died, 2000);
}
