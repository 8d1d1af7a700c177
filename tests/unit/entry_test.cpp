#include "vendor/entry.h"

#include <gtest/gtest.h>

#include "files/utf8.h"
#include "tests/support/fake_view.h"
#include "vendor/handlers/display_lines.h"
#include "vendor/handlers/entry_clicks.h"
#include "vendor/handlers/texts.h"

namespace {

struct EntryCase {
  const wchar_t* typed;
  Verdict verdict;
  const wchar_t* value;  // the cleaned text when accepted
};

template <class Edit>
std::wstring ValueOf(const Entered<Edit>& entered) {
  if (!entered.edit) return {};
  if constexpr (std::is_same_v<Edit, MacEdit>) {
    return AsciiWide(VendorLayout::HexText(entered.edit->mac()));
  } else {
    return AsciiWide(entered.edit->sn());
  }
}

}  // namespace

TEST(EnterMac, RemovesOnlyColonsAndSpacesThenWantsTwelveHexDigits) {
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
    const Entered<MacEdit> entered = EnterMac(c.typed);
    EXPECT_EQ(entered.verdict, c.verdict) << c.typed;
    EXPECT_EQ(ValueOf(entered), c.value) << c.typed;
  }
}

TEST(EnterSn, RemovesOnlyColonsAndSpacesThenWantsThirteenLettersOrDigits) {
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
    const Entered<SnEdit> entered = EnterSn(c.typed);
    EXPECT_EQ(entered.verdict, c.verdict) << c.typed;
    EXPECT_EQ(ValueOf(entered), c.value) << c.typed;
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
    state.NewSN = SnOf(L"ABCDEFGHIJKLM");
    view.typed = {c.typed};

    MAC_Click(view, state);

    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].prompt, Texts::kMacPrompt);
    EXPECT_EQ(view.asked[0].title, Texts::kMacTitle);
    EXPECT_EQ(view.asked[0].defaultText, Texts::kMacDefault);
    EXPECT_EQ(PendingMac(state), c.newMac);
    EXPECT_EQ(view.lines[Label::MAC], c.line);
    EXPECT_EQ(view.lines[Label::SN], L"SN");  // the other line and edit stay
    EXPECT_EQ(PendingSn(state), L"ABCDEFGHIJKLM");
    EXPECT_EQ(PendingSnCheck(state), L"923");
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_FALSE(view.updateEnabled);
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
    state.NewMAC = MacOf(L"001132ABCDEF");
    view.typed = {c.typed};

    SN_Click(view, state);

    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].prompt, Texts::kSnPrompt);
    EXPECT_EQ(view.asked[0].title, Texts::kSnTitle);
    EXPECT_EQ(view.asked[0].defaultText, L"");
    EXPECT_EQ(PendingSn(state), c.newSn);
    EXPECT_EQ(PendingSnCheck(state), c.check);
    EXPECT_EQ(view.lines[Label::SN], std::wstring(L"SN:") + c.newSn + L" CHK:" + c.check);
    EXPECT_EQ(PendingMac(state), L"001132ABCDEFAA");
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

  EXPECT_EQ(PendingMac(state), L"001132ABCDEFAA");
  EXPECT_EQ(view.lines[Label::MAC], L"MAC:001132ABCDEF  效验:AA");
  EXPECT_EQ(PendingSn(state), L"ABCDEFGHIJKLM");
  EXPECT_EQ(PendingSnCheck(state), L"923");
  EXPECT_EQ(view.lines[Label::SN], L"SN:ABCDEFGHIJKLM CHK:923");
  ASSERT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(view.boxes[0].text, Texts::kMacRefused);
  EXPECT_EQ(view.boxes[1].text, Texts::kSnRefused);
  for (const FakeView::Box& box : view.boxes) {
    EXPECT_EQ(box.title, Texts::kErrorTitle);
    EXPECT_EQ(box.style, BoxStyle::critical);
  }
}

TEST(Entry, CancelOrOnlySeparatorsChangeNothingSilently) {
  for (const wchar_t* typed : {L"", L"::", L"  ", L"：: "}) {
    SCOPED_TRACE(Utf8(typed));
    FakeView view;
    EditState state;
    state.NewMAC = MacOf(L"001132ABCDEF");
    state.NewSN = SnOf(L"ABCDEFGHIJKLM");
    view.typed = {typed, typed};
    MAC_Click(view, state);
    SN_Click(view, state);
    EXPECT_EQ(PendingMac(state), L"001132ABCDEFAA");
    EXPECT_EQ(PendingSn(state), L"ABCDEFGHIJKLM");
    EXPECT_EQ(PendingSnCheck(state), L"923");
    EXPECT_EQ(view.lines[Label::MAC], L"MAC");
    EXPECT_EQ(view.lines[Label::SN], L"SN");
    EXPECT_TRUE(view.boxes.empty());
  }
}
