#include "vendor/layout.h"

#include <gtest/gtest.h>

using namespace VendorLayout;

TEST(MacCheck, SumsTheSixBytesModulo256) {
  struct Case {
    MacBytes mac;
    std::uint8_t check;
    const char* text;
  };
  const Case cases[] = {
      {{0x00, 0x11, 0x32, 0x00, 0x00, 0x00}, 0x43, "43"},
      {{0x00, 0x11, 0x32, 0xAB, 0xCD, 0xEF}, 0xAA, "AA"},  // 682 = 0x2AA
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFA, "FA"},  // 1530 = 0x5FA
      {{0x00, 0x00, 0x00, 0x00, 0x00, 0x01}, 0x01, "01"},
      {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 0x00, "00"},
      {{0x80, 0x80, 0x00, 0x00, 0x00, 0x0F}, 0x0F, "0F"},
  };
  for (const Case& c : cases) {
    const std::uint8_t check = MACChk(c.mac);
    EXPECT_EQ(check, c.check);
    EXPECT_EQ(HexText(std::span(&check, 1)), c.text);
  }
}

TEST(HexText, GivesEveryByteAsTwoUppercaseDigits) {
  for (unsigned value = 0; value < 256; ++value) {
    const std::uint8_t byte = static_cast<std::uint8_t>(value);
    const std::string text = HexText(std::span(&byte, 1));
    ASSERT_EQ(text.size(), 2u);
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF"), std::string::npos) << text;
    EXPECT_EQ(std::stoul(text, nullptr, 16), value);
  }
  EXPECT_EQ(HexText(MacBytes{0x00, 0x11, 0x32, 0xAB, 0xCD, 0xEF}), "001132ABCDEF");
}

TEST(SnCheck, IsTheDecimalSumOfTheCodesAndTheFileKeepsItsLeadingThreeDigits) {
  struct Case {
    const char* sn;
    const char* check;
    const char* stored;
  };
  const Case cases[] = {
      {"0000000000000", "624", "624"},  // the smallest admitted sum
      {"ABCDEFGHIJKLM", "923", "923"},
      {"MMMMMMMMMMMMM", "1001", "100"},  // four digits: the leading three
      {"ZZZZZZZZZZZZZ", "1170", "117"},  // the largest admitted sum
  };
  for (const Case& c : cases) {
    SnBytes sn{};
    std::copy_n(c.sn, sn.size(), sn.begin());
    EXPECT_EQ(SNChk(sn), c.check) << c.sn;
    EXPECT_EQ(StoredSNChk(sn), c.stored) << c.sn;
  }
  EXPECT_EQ(StoredSNChk(SnBytes{}), "0");  // thirteen NULs, as a damaged file may hold
}

TEST(MacBytesOf, ReadsTwelveUppercaseDigitsFirstPairFirst) {
  EXPECT_EQ(MacBytesOf(L"001132ABCDEF"), (MacBytes{0x00, 0x11, 0x32, 0xAB, 0xCD, 0xEF}));
  for (const wchar_t* bad : {L"", L"001132ABCDE", L"001132ABCDEF0", L"001132abcdef", L"00:11:32:AB:CD:EF",
                             L"00113G000000", L"\uFF10\uFF10113200000"}) {
    EXPECT_FALSE(MacBytesOf(bad).has_value()) << bad;
  }
}
