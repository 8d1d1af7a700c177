#include "vendor/layout.h"

#include <gtest/gtest.h>

using namespace VendorLayout;

TEST(MacCheck, SumsTheSixBytesModulo256) {
  struct Case {
    MacBytes mac;
    std::uint8_t check;
    const wchar_t* text;
  };
  const Case cases[] = {
      {{0x00, 0x11, 0x32, 0x00, 0x00, 0x00}, 0x43, L"43"},
      {{0x00, 0x11, 0x32, 0xAB, 0xCD, 0xEF}, 0xAA, L"AA"},  // 682 = 0x2AA
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFA, L"FA"},  // 1530 = 0x5FA
      {{0x00, 0x00, 0x00, 0x00, 0x00, 0x01}, 0x01, L"01"},
      {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 0x00, L"00"},
      {{0x80, 0x80, 0x00, 0x00, 0x00, 0x0F}, 0x0F, L"0F"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MACChk(c.mac), c.check);
    EXPECT_EQ(HexByte(MACChk(c.mac)), c.text);
  }
}

TEST(HexByte, RoundTripsEveryByteAsTwoUppercaseDigits) {
  for (unsigned value = 0; value < 256; ++value) {
    const std::wstring text = HexByte(static_cast<std::uint8_t>(value));
    ASSERT_EQ(text.size(), 2u);
    EXPECT_EQ(HexByteValue(text), value) << value;
  }
  EXPECT_EQ(HexByte(0x0A), L"0A");
  EXPECT_EQ(HexByte(0xC3), L"C3");
}

TEST(HexByte, RefusesWhatIsNotTwoUppercaseHexDigits) {
  for (const wchar_t* bad : {L"", L"0", L"000", L"0g", L"ab", L"G0", L" 1", L"-1", L"\uFF10\uFF10"}) {
    EXPECT_FALSE(HexByteValue(bad).has_value()) << bad;
  }
}

TEST(SnCheck, IsTheDecimalSumOfTheCodes) {
  struct Case {
    const wchar_t* sn;
    const wchar_t* check;
  };
  const Case cases[] = {
      {L"0000000000000", L"624"},  // the smallest admitted sum
      {L"ABCDEFGHIJKLM", L"923"},
      {L"MMMMMMMMMMMMM", L"1001"},  // four digits: the file keeps "100"
      {L"ZZZZZZZZZZZZZ", L"1170"},  // the largest admitted sum
      {L"", L"0"},
  };
  for (const Case& c : cases) EXPECT_EQ(SNChk(c.sn), c.check) << c.sn;
}

TEST(MacBytesOf, ReadsTwelveUppercaseDigitsFirstPairFirst) {
  EXPECT_EQ(MacBytesOf(L"001132ABCDEF"), (MacBytes{0x00, 0x11, 0x32, 0xAB, 0xCD, 0xEF}));
  for (const wchar_t* bad : {L"", L"001132ABCDE", L"001132ABCDEF0", L"001132abcdef", L"00:11:32:AB:CD:EF"}) {
    EXPECT_FALSE(MacBytesOf(bad).has_value()) << bad;
  }
}
