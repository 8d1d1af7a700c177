#include "vendor/entry.h"

#include <gtest/gtest.h>

#include "files/utf8.h"
#include "tests/unit/fake_view.h"

namespace {

struct EntryCase {
  const wchar_t* typed;
  Verdict verdict;
  const wchar_t* value;  // the cleaned text when accepted
};

}  // namespace

TEST(CleanMac, RemovesOnlyColonsAndSpacesThenWantsTwelveHexDigits) {
  const EntryCase cases[] = {
      {L"001132ABCDEF", Verdict::accepted, L"001132ABCDEF"},
      {L"00:11:32:ab:cd:ef", Verdict::accepted, L"001132ABCDEF"},
      {L"00 11 32 AB CD EF", Verdict::accepted, L"001132ABCDEF"},
      {L"00：11：32：AB：CD：EF", Verdict::accepted, L"001132ABCDEF"},
      {L" 0 0:1：1 32abcdef ", Verdict::accepted, L"001132ABCDEF"},
      {L"000000000001", Verdict::accepted, L"000000000001"},
      {L"", Verdict::empty, L""},
      {L": ：: ", Verdict::empty, L""},
      {L"00-11-32-AB-CD-EF", Verdict::refused, L""},
      {L"00\t11\t32\tAB\tCD\tEF", Verdict::refused, L""},
      {L"001132ABCDE", Verdict::refused, L""},
      {L"001132ABCDEF0", Verdict::refused, L""},
      {L"001132ABCDEG", Verdict::refused, L""},
      {L"00113２ABCDEF", Verdict::refused, L""},      // full-width digit
      {L"001132ABCDE\u0131", Verdict::refused, L""},  // dotless i must not become I
      {L"001132ABCDEＦ", Verdict::refused, L""},
      {L"001132ABCDEF\u00A0", Verdict::refused, L""},  // only the plain space goes
  };
  for (const EntryCase& c : cases) {
    const Cleaned cleaned = CleanMac(c.typed);
    EXPECT_EQ(cleaned.verdict, c.verdict) << c.typed;
    EXPECT_EQ(cleaned.value, c.value) << c.typed;
  }
}

TEST(CleanSn, RemovesOnlyColonsAndSpacesThenWantsThirteenLettersOrDigits) {
  const EntryCase cases[] = {
      {L"ABCDEFGHIJKLM", Verdict::accepted, L"ABCDEFGHIJKLM"},
      {L"abcdefghijklm", Verdict::accepted, L"ABCDEFGHIJKLM"},
      {L"SN: 12345 67890 12", Verdict::refused, L""},  // 14 characters once cleaned
      {L"12345：67890 123", Verdict::accepted, L"1234567890123"},
      {L"  ", Verdict::empty, L""},
      {L"ABCDEFGHIJKL", Verdict::refused, L""},
      {L"ABCDEFGHIJKLMN", Verdict::refused, L""},
      {L"ABCDEF-HIJKLM", Verdict::refused, L""},
      {L"ABCDEF_HIJKLM", Verdict::refused, L""},
      {L"ABCDEFＧHIJKLM", Verdict::refused, L""},      // full-width letter
      {L"ABCDEF\u017FHIJKLM", Verdict::refused, L""},  // long s must not become S
      {L"ABCDEF\u0131HIJKLM", Verdict::refused, L""},
      {L"ABCDEFÉHIJKLM", Verdict::refused, L""},
      {L"abcdef\u212AHIJKLM", Verdict::refused, L""},  // Kelvin sign must not become K
  };
  for (const EntryCase& c : cases) {
    const Cleaned cleaned = CleanSn(c.typed);
    EXPECT_EQ(cleaned.verdict, c.verdict) << c.typed;
    EXPECT_EQ(cleaned.value, c.value) << c.typed;
  }
}

TEST(MacClick, AsksWithThePromptAndShowsTheAcceptedValueWithItsCheck) {
  struct Case {
    const wchar_t* typed;
    const wchar_t* newMac;
    const wchar_t* line;
  };
  const Case cases[] = {
      {L"00:11:32:ab:cd:ef", L"001132ABCDEFAA", L"MAC:001132ABCDEF  效验:AA"},
      {L"000000000001", L"00000000000101", L"MAC:000000000001  效验:01"},
      {L"ffffffffffff", L"FFFFFFFFFFFFFA", L"MAC:FFFFFFFFFFFF  效验:FA"},
      {L"001132000000", L"00113200000043", L"MAC:001132000000  效验:43"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.typed));
    FakeView view;
    EditState state;
    state.NewSN = L"ABCDEFGHIJKLM";
    state.NewSNChk = L"923";
    view.typed = {c.typed};

    MAC_Click(view, state);

    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].prompt,
              L"请输入新正确的MAC信息不区分大小写\r\n推荐前6位为是001132开头,总长度为12位");
    EXPECT_EQ(view.asked[0].title, L"update_MAC");
    EXPECT_EQ(view.asked[0].defaultText, L"001132");
    EXPECT_EQ(state.NewMAC, c.newMac);
    EXPECT_EQ(view.lines[Label::MAC], c.line);
    EXPECT_EQ(view.lines[Label::SN], L"SN");  // the other line and edit stay
    EXPECT_EQ(state.NewSN, L"ABCDEFGHIJKLM");
    EXPECT_EQ(state.NewSNChk, L"923");
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_FALSE(view.updateEnabled);
    EXPECT_EQ(view.files.opens, 0);
  }
}

TEST(SnClick, AsksWithThePromptAndShowsTheAcceptedValueWithItsWholeCheck) {
  struct Case {
    const wchar_t* typed;
    const wchar_t* newSn;
    const wchar_t* check;
  };
  const Case cases[] = {
      {L"abcdefghijklm", L"ABCDEFGHIJKLM", L"923"},
      {L"MMMMMMMMMMMMM", L"MMMMMMMMMMMMM", L"1001"},
      {L"0000000000000", L"0000000000000", L"624"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.typed));
    FakeView view;
    EditState state;
    state.NewMAC = L"001132ABCDEFAA";
    view.typed = {c.typed};

    SN_Click(view, state);

    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].prompt, L"请输入新正确的SN信息不区分大小写\r\nSN总长度为13位");
    EXPECT_EQ(view.asked[0].title, L"update_SN");
    EXPECT_EQ(view.asked[0].defaultText, L"");
    EXPECT_EQ(state.NewSN, c.newSn);
    EXPECT_EQ(state.NewSNChk, c.check);
    EXPECT_EQ(view.lines[Label::SN], std::wstring(L"SN:") + c.newSn + L" CHK:" + c.check);
    EXPECT_EQ(state.NewMAC, L"001132ABCDEFAA");
    EXPECT_TRUE(view.boxes.empty());
  }
}

TEST(Entry, RefusedInputKeepsTheEarlierEntryAndSaysWhy) {
  FakeView view;
  EditState state;
  view.typed = {L"001132abcdef", L"00-11-32-AB-CD-EF", L"abcdefghijklm", L"ABCDEFGHIJKL"};
  MAC_Click(view, state);
  MAC_Click(view, state);
  SN_Click(view, state);
  SN_Click(view, state);

  EXPECT_EQ(state.NewMAC, L"001132ABCDEFAA");
  EXPECT_EQ(view.lines[Label::MAC], L"MAC:001132ABCDEF  效验:AA");
  EXPECT_EQ(state.NewSN, L"ABCDEFGHIJKLM");
  EXPECT_EQ(state.NewSNChk, L"923");
  EXPECT_EQ(view.lines[Label::SN], L"SN:ABCDEFGHIJKLM CHK:923");
  ASSERT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(view.boxes[0].text, L"您输入的MAC信息不规范,请输入正确的MAC信息");
  EXPECT_EQ(view.boxes[1].text, L"您输入的SN信息不规范,请输入正确的SN信息");
  for (const FakeView::Box& box : view.boxes) {
    EXPECT_EQ(box.title, L"错误");
    EXPECT_EQ(box.style, BoxStyle::critical);
  }
}

TEST(Entry, CancelOrOnlySeparatorsChangeNothingSilently) {
  for (const wchar_t* typed : {L"", L"::", L"  ", L"：: "}) {
    SCOPED_TRACE(Utf8(typed));
    FakeView view;
    EditState state;
    state.NewMAC = L"001132ABCDEFAA";
    state.NewSN = L"ABCDEFGHIJKLM";
    state.NewSNChk = L"923";
    view.typed = {typed, typed};
    MAC_Click(view, state);
    SN_Click(view, state);
    EXPECT_EQ(state.NewMAC, L"001132ABCDEFAA");
    EXPECT_EQ(state.NewSN, L"ABCDEFGHIJKLM");
    EXPECT_EQ(state.NewSNChk, L"923");
    EXPECT_EQ(view.lines[Label::MAC], L"MAC");
    EXPECT_EQ(view.lines[Label::SN], L"SN");
    EXPECT_TRUE(view.boxes.empty());
  }
}
