#include "vendor/handlers/writer.h"

#include <gtest/gtest.h>

#include "files/utf8.h"
#include "tests/support/fake_view.h"
#include "tests/support/vendor_bytes.h"
#include "vendor/handlers/texts.h"

namespace {

struct Fixture {
  FakeView view;
  FakePlatform platform;
  EditState state;
  std::vector<std::uint8_t> original;

  Fixture() {
    original = VendorBytes("0102030405060F", "0000000000000", "000");  // every field byte will change
    state.BinPath = L"C:\\Tools\\vendor.bin";
    platform.disk.Put(state.BinPath, original);
  }
  std::vector<std::uint8_t> Now() const {
    return platform.disk.Bytes(state.BinPath).value_or(std::vector<std::uint8_t>{});
  }
  void PendMac() { state.NewMAC = MacOf(L"001132ABCDEF"); }
  void PendSn(const wchar_t* sn = L"ABCDEFGHIJKLM") { state.NewSN = SnOf(sn); }
  void Update() { Command1_Click(view, platform, state); }
  std::vector<std::size_t> ChangedOffsets() const {
    const std::vector<std::uint8_t> now = Now();
    EXPECT_EQ(now.size(), original.size());
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < std::min(now.size(), original.size()); ++i) {
      if (now[i] != original[i]) changed.push_back(i);
    }
    return changed;
  }
};

std::vector<std::size_t> Range(std::size_t from, std::size_t to) {
  std::vector<std::size_t> offsets;
  for (std::size_t i = from; i < to; ++i) offsets.push_back(i);
  return offsets;
}

std::vector<std::size_t> Join(std::vector<std::size_t> a, const std::vector<std::size_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

TEST(Update, WritesExactlyThePendingFieldsAndTheirChecks) {
  const auto sn = Join(Range(35, 48), Range(53, 56));
  struct Case {
    const char* name;
    bool mac, sn;
    std::vector<std::size_t> changed;
  };
  const Case cases[] = {
      {"MAC only", true, false, Range(0, 7)},
      {"SN only", false, true, sn},
      {"both", true, true, Join(Range(0, 7), sn)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    if (c.mac) f.PendMac();
    if (c.sn) f.PendSn();
    f.view.answers = {BoxAnswer::yes};

    f.Update();

    EXPECT_EQ(f.ChangedOffsets(), c.changed);
    const std::vector<std::uint8_t> now = f.Now();
    if (c.mac) {
      EXPECT_EQ(std::vector<std::uint8_t>(now.begin(), now.begin() + 7),
                (std::vector<std::uint8_t>{0x00, 0x11, 0x32, 0xAB, 0xCD, 0xEF, 0xAA}));
    }
    if (c.sn) {
      EXPECT_EQ(std::string(now.begin() + 35, now.begin() + 48), "ABCDEFGHIJKLM");
      EXPECT_EQ(std::string(now.begin() + 53, now.begin() + 56), "923");
    }
    ASSERT_EQ(f.view.boxes.size(), 2u);
    EXPECT_EQ(f.view.boxes[0].text, Texts::kConfirmUpdate);
    EXPECT_EQ(f.view.boxes[0].title, Texts::kNoticeTitle);
    EXPECT_EQ(f.view.boxes[0].style, BoxStyle::yesNoQuestion);
    EXPECT_EQ(f.view.boxes[1].text, Texts::kUpdated);
    EXPECT_EQ(f.view.boxes[1].style, BoxStyle::ok);
    EXPECT_FALSE(f.view.boxes[1].title.has_value());
    EXPECT_FALSE(f.state.Pending());
  }
}

TEST(Update, AFourDigitSnCheckKeepsItsLeadingThreeDigits) {
  Fixture f;
  f.PendSn(L"MMMMMMMMMMMMM");
  f.view.answers = {BoxAnswer::yes};
  f.Update();
  const std::vector<std::uint8_t> now = f.Now();
  EXPECT_EQ(std::string(now.begin() + 53, now.begin() + 56), "100");
  EXPECT_EQ(now[56], f.original[56]);
}

TEST(Update, OnlyYesWritesAndAnyOtherAnswerKeepsTheEditsForTheNextClick) {
  // dismissed: Escape, the close box, or the box torn down with the window.
  for (BoxAnswer answer : {BoxAnswer::no, BoxAnswer::dismissed, BoxAnswer::ok}) {
    SCOPED_TRACE(static_cast<int>(answer));
    Fixture f;
    f.PendMac();
    f.view.answers = {answer, BoxAnswer::yes};
    f.Update();
    EXPECT_TRUE(f.ChangedOffsets().empty());
    EXPECT_EQ(f.platform.disk.opens, 0);
    EXPECT_EQ(PendingMac(f.state), L"001132ABCDEFAA");
    ASSERT_EQ(f.view.boxes.size(), 1u);

    f.Update();
    EXPECT_EQ(f.view.boxes[1].text, Texts::kConfirmUpdate);
    EXPECT_EQ(f.ChangedOffsets(), Range(0, 7));
  }
}

TEST(Update, NothingPendingSaysSoAndWritesNothing) {
  Fixture f;
  f.Update();
  ASSERT_EQ(f.view.boxes.size(), 1u);
  EXPECT_EQ(f.view.boxes[0].text, Texts::kNothingPending);
  EXPECT_EQ(f.view.boxes[0].title, Texts::kNoticeTitle);
  EXPECT_EQ(f.view.boxes[0].style, BoxStyle::information);
  EXPECT_EQ(f.platform.disk.opens, 0);
  EXPECT_TRUE(f.ChangedOffsets().empty());
}

namespace {

using Operation = FaultyFiles::Operation;
using Effect = FaultyFiles::Effect;
using Rule = std::function<FaultyFiles::Fault(const FaultyFiles::Call&)>;

// Every operation of one kind breaks so.
Rule Every(Operation operation, Effect effect, const wchar_t* text) {
  return [=](const FaultyFiles::Call& call) {
    return call.operation == operation ? FaultyFiles::Fault{effect, text} : FaultyFiles::Fault{};
  };
}

}  // namespace

TEST(Update, AFailureKeepsTheEditsNeverClaimsSuccessAndLeavesTheFileWhole) {
  bool flipped = false;
  struct Case {
    const char* name;
    Rule rule;  // none: the open fails
    const wchar_t* says;
    bool restoredOrUntouched;
  };
  const Case cases[] = {
      {"open fails", nullptr, L"access denied", true},
      {"length changed since load", Every(Operation::size, Effect::wrongSize, L""),
       L"文件长度已不是65536字节", true},
      {"short write", Break(Operation::write, 0, Effect::halfWritten, L"short write"),
       L"short write\r\n文件已恢复为更新前的内容。", true},
      // The restore's writes fail too, but nothing was ever written: the file is as it was.
      {"every write fails", Every(Operation::write, Effect::fail, L"disk full"),
       L"disk full\r\n文件已恢复为更新前的内容。", true},
      // The restore's flush fails too, but the old bytes read back.
      {"flush fails", Every(Operation::flush, Effect::fail, L"flush failed"),
       L"flush failed\r\n文件已恢复为更新前的内容。", true},
      // Once: the restore that follows reads true.
      {"read back differs",
       [&flipped](const FaultyFiles::Call& call) {
         const bool flip = call.operation == Operation::read && call.writesBefore > 0 && !flipped;
         flipped = flipped || flip;
         return FaultyFiles::Fault{flip ? Effect::flipped : Effect::none};
       },
       L"写入后读回的内容与写入的不一致。\r\n文件已恢复为更新前的内容。", true},
      {"restore fails too",
       [](const FaultyFiles::Call& call) {
         if (call.operation == Operation::flush) return FaultyFiles::Fault{Effect::fail, L"flush failed"};
         if (call.operation == Operation::write && call.ofItsKind > 0)
           return FaultyFiles::Fault{Effect::fail, L"device gone"};
         return FaultyFiles::Fault{};
       },
       L"flush failed\r\n无法恢复文件原有内容", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.PendMac();
    f.PendSn();
    if (!c.rule) f.platform.files.openFails[f.state.BinPath] = L"access denied";
    f.platform.files.rule = c.rule;
    f.view.answers = {BoxAnswer::yes};
    const EditState before = f.state;

    f.Update();

    ASSERT_EQ(f.view.boxes.size(), 2u);
    EXPECT_EQ(f.view.boxes[1].title, Texts::kFailureTitle);
    EXPECT_EQ(f.view.boxes[1].style, BoxStyle::critical);
    EXPECT_NE(f.view.boxes[1].text.find(c.says), std::wstring::npos) << Utf8(f.view.boxes[1].text);
    EXPECT_EQ(PendingMac(f.state), PendingMac(before));
    EXPECT_EQ(PendingSn(f.state), PendingSn(before));
    if (c.restoredOrUntouched) {
      EXPECT_TRUE(f.ChangedOffsets().empty());
    }
    EXPECT_EQ(f.Now().size(), 65536u);
  }
}

TEST(Update, NeverCreatesOrGrowsAFile) {
  Fixture f;
  f.PendMac();
  ASSERT_TRUE(f.platform.disk.Remove(f.state.BinPath));
  f.view.answers = {BoxAnswer::yes};
  f.Update();
  EXPECT_FALSE(f.platform.disk.Bytes(f.state.BinPath));
  EXPECT_EQ(f.view.boxes.back().title, Texts::kFailureTitle);

  f.platform.disk.Put(f.state.BinPath, std::vector<std::uint8_t>(100, 0x5A));  // replaced since the load
  f.view.answers = {BoxAnswer::yes};
  f.Update();
  EXPECT_EQ(f.Now(), std::vector<std::uint8_t>(100, 0x5A));
  EXPECT_EQ(f.view.boxes.back().title, Texts::kFailureTitle);
  EXPECT_EQ(PendingMac(f.state), L"001132ABCDEFAA");
}
