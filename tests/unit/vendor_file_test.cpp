#include "vendor/vendor_file.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/fake_view.h"
#include "tests/support/vendor_bytes.h"

TEST(ReadFields, ReadsTheFourFieldsOfAFileOfExactlyTheVendorSize) {
  struct Case {
    std::size_t size;
    bool read;
  };
  for (const Case& c : {Case{65536, true}, Case{65535, false}, Case{65537, false}, Case{40, false}}) {
    SCOPED_TRACE(c.size);
    MemoryFiles files;
    files.Put(L"a.bin", c.size < 56 ? std::vector<std::uint8_t>(c.size)
                                    : VendorBytes("001132ABCDEF0A", "MMMMMMMMMMMMM",
                                                  "1\x01"
                                                  "0",
                                                  c.size));

    Result<StoredFields> fields = ReadFields(files, L"a.bin");

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
  MemoryFiles files;
  Result<StoredFields> fields = ReadFields(files, L"gone.bin");
  ASSERT_FALSE(fields);
  EXPECT_EQ(fields.error().cause, Failure::Cause::system);
  EXPECT_EQ(fields.error().text, L"No such file or directory");
}

namespace {

// One vendor file in memory, whose k-th operation (counting from 0) can be
// made to fail, to fail half-way through a write or to give a lying answer
// (a read with one byte flipped, a write that never lands); or every
// operation from the k-th on fails, as when the device is gone. Or the
// process dies at its n-th write: before it, after it, or, for a write that
// crosses a sector boundary, with only the part before one on the device.
struct OneFile {
  enum class Fault { none, fails, halfWritten, lies, gone };
  enum class Death { none, beforeWrite, afterWrite, tornWrite };

  OneFile(std::vector<std::uint8_t> bytes, Fault fault, int faultAt, Death death = Death::none,
          int deathAt = 0) {
    disk.Put(kPath, std::move(bytes));
    files.rule = [=](const FaultyFiles::Call& call) {
      using Effect = FaultyFiles::Effect;
      if (death != Death::none) {
        if (call.operation != FaultyFiles::Operation::write || call.ofItsKind != deathAt)
          return FaultyFiles::Fault{};
        return FaultyFiles::Fault{death == Death::beforeWrite  ? Effect::dies
                                  : death == Death::afterWrite ? Effect::diesAfter
                                                               : Effect::diesTorn};
      }
      const bool faulted =
          fault == Fault::gone ? call.index >= faultAt : fault != Fault::none && call.index == faultAt;
      if (!faulted) return FaultyFiles::Fault{};
      const bool write = call.operation == FaultyFiles::Operation::write;
      if (fault == Fault::halfWritten && write) return FaultyFiles::Fault{Effect::halfWritten};
      if (fault == Fault::lies && write) return FaultyFiles::Fault{Effect::lost};
      if (fault == Fault::lies && call.operation == FaultyFiles::Operation::read)
        return FaultyFiles::Fault{Effect::flipped};
      if (fault == Fault::lies && call.operation == FaultyFiles::Operation::flush)
        return FaultyFiles::Fault{};
      return FaultyFiles::Fault{Effect::fail};
    };
  }
  std::vector<std::uint8_t> Bytes() const { return *disk.Bytes(kPath); }
  WriteReport Write(const EditState& edits) {
    return WriteEdits(files, EditState{kPath, edits.NewMAC, edits.NewSN});
  }

  static constexpr wchar_t kPath[] = L"vendor.bin";
  MemoryFiles disk;
  FaultyFiles files{disk};
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
  using Fault = OneFile::Fault;
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
    // Random where the fields lie, a filler beyond; now and then one byte short.
    std::vector<std::uint8_t> original = filler;
    if (round % 97 == 0) original.pop_back();
    for (std::size_t i = 0; i < 64; ++i) original[i] = static_cast<std::uint8_t>(random());
    const auto fault = static_cast<Fault>(random() % 5);
    OneFile file(original, fault, static_cast<int>(random() % 12));

    EditState edits{L"vendor.bin", {}, {}};
    PendRandomEdits(edits, random, round);

    const WriteReport report = file.Write(edits);

    const std::vector<std::uint8_t> now = file.Bytes(), expected = expectedAfter(original, edits);
    ASSERT_EQ(file.disk.Paths().size(), 1u) << "the writer makes no file";
    ASSERT_TRUE(std::equal(now.begin() + 56, now.end(), original.begin() + 56));
    for (std::size_t i = 0; i < 56; ++i) {
      if (now[i] != original[i]) {
        ASSERT_EQ(now[i], expected[i]) << "offset " << i;
      }
    }
    if (report.written) {
      EXPECT_EQ(now, expected);
    } else if (report.restore != Restore::failed) {
      EXPECT_EQ(now, original);
    }  // failed: the old bytes did not all read back, or could not be read at all
  }
}

TEST(WriteEdits, KilledAtAnyInstantTheFileHoldsAllItsOldFieldsOrAllItsNewOnes) {
  using Death = OneFile::Death;
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
    std::vector<std::uint8_t> original = filler;
    for (std::size_t i = 0; i < 64; ++i) original[i] = static_cast<std::uint8_t>(random());
    const auto death = static_cast<Death>(1 + random() % 3);
    const int deathAt = static_cast<int>(random() % 4);
    OneFile file(original, OneFile::Fault::none, 0, death, deathAt);
    EditState edits{L"vendor.bin", {}, {}};
    PendRandomEdits(edits, random, round);

    OneFile done(original, OneFile::Fault::none, 0);
    ASSERT_TRUE(done.Write(edits).written);
    try {
      (void)file.Write(edits);
    } catch (const Died&) {
      ++died;
    }

    const std::vector<std::uint8_t> now = file.Bytes();
    EXPECT_TRUE(part(now, true) == part(original, true) || part(now, true) == part(done.Bytes(), true))
        << "died at write " << deathAt;
    EXPECT_EQ(part(now, false), part(original, false));
    EXPECT_TRUE(std::equal(now.begin() + 56, now.end(), original.begin() + 56));
    if (HasFailure()) break;
  }
  EXPECT_GT(died, 2000);
}
