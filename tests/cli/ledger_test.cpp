// The ledger's ranges and where an SQLite ledger may lie.
#include <gtest/gtest.h>

#include "files/network_folder.h"
#include "ledger/ranges.h"

TEST(SnRange, OverlapsWhateverRangeCouldGiveOneOfItsSns) {
  struct Case {
    const char* a;
    const char* b;
    bool overlap;
  };
  const Case cases[] = {
      {"QVX2612000001-QVX2612000100", "QVX2612000100-QVX2612000200", true},
      {"QVX2612000001-QVX2612000100", "QVX2612000101-QVX2612000200", false},
      // A letter where the other range counts.
      {"QVX2612000001-QVX2612999999", "QVX26120000A1-QVX26120000A9", false},
      {"QVX2612000001-QVX2612999999", "QVX2612500000-QVX2612500009", true},
      {"QVX2612000001-QVX2612000099", "QVX2612000090-QVX2612000090", true},
      {"QVX2612000001-QVX2612000050", "QVX2612000020-QVX2612000029", true},  // inside
      {"ABC0000000001-ABC0000000009", "ABD0000000001-ABD0000000009", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " " + c.b);
    const Result<SnRange> a = SnRange::Parse(c.a), b = SnRange::Parse(c.b);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->Overlaps(*b), c.overlap);
    EXPECT_EQ(b->Overlaps(*a), c.overlap);
  }
}

TEST(NetworkFileSystem, NfsAndSmbAreNetworkFileSystemsLocalOnesAreNot) {
  for (unsigned long type : {0x6969ul, 0x517Bul, 0xFF534D42ul, 0xFE534D42ul}) {
    EXPECT_TRUE(IsNetworkFileSystemType(type)) << std::hex << type;
  }
  for (unsigned long type : {0xEF53ul /* ext4 */, 0x01021994ul /* tmpfs */, 0x58465342ul /* xfs */}) {
    EXPECT_FALSE(IsNetworkFileSystemType(type)) << std::hex << type;
  }
  EXPECT_FALSE(OnNetworkFileSystem(L"/tmp/line.db"));
}
