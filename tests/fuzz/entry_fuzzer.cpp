// Feeds arbitrary text to the MAC and SN entries and checks what may come
// out: nothing, a refusal, or a value of the right length and alphabet whose
// check value is right. The input's bytes are read as 16-bit code units, as
// Windows hands text over, surrogates and all.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vendor/entry.h"

namespace {

// Answers the input box with the fuzzed text and remembers what was shown.
class ScriptedView final : public MainView {
 public:
  explicit ScriptedView(std::wstring typed) : typed_(std::move(typed)) {}
  std::wstring line;
  int boxes = 0;

  void SetLine(Label, const std::wstring& text) override { line = text; }
  void SetUpdateEnabled(bool) override { std::abort(); }
  BoxAnswer ShowMessage(const std::wstring&, BoxStyle, const wchar_t*) override {
    ++boxes;
    return BoxAnswer::ok;
  }
  std::wstring AskText(const std::wstring&, const std::wstring&, const std::wstring&) override {
    return typed_;
  }
  Result<std::wstring> ProgramFolder() override { std::abort(); }
  Files& FileSystem() override { std::abort(); }
  std::optional<wchar_t> ByteToChar(std::uint8_t) override { std::abort(); }

 private:
  std::wstring typed_;
};

void Require(bool condition) {
  if (!condition) std::abort();
}

bool OnlySeparators(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c != L':' && c != L'\uFF1A' && c != L' ') return false;
  }
  return true;
}

void CheckMac(const std::wstring& typed) {
  ScriptedView view(typed);
  EditState state;
  MAC_Click(view, state);
  const Cleaned cleaned = CleanMac(typed);
  Require((cleaned.verdict == Verdict::empty) == OnlySeparators(typed));
  if (cleaned.verdict != Verdict::accepted) {
    Require(state.NewMAC.empty() && view.line.empty());
    Require(view.boxes == (cleaned.verdict == Verdict::refused ? 1 : 0));
    return;
  }
  Require(cleaned.value.size() == 12 && view.boxes == 0);
  unsigned sum = 0;
  for (std::size_t i = 0; i < 12; i += 2) {
    for (std::size_t k = i; k < i + 2; ++k) {
      const wchar_t c = cleaned.value[k];
      Require((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'));
    }
    const char pair[3] = {static_cast<char>(cleaned.value[i]), static_cast<char>(cleaned.value[i + 1]), 0};
    sum += static_cast<unsigned>(std::strtoul(pair, nullptr, 16));
  }
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  const std::wstring check{kHex[(sum % 256) / 16], kHex[sum % 16]};
  Require(state.NewMAC == cleaned.value + check);
  Require(view.line == L"MAC:" + cleaned.value + L"  效验:" + check);
}

void CheckSn(const std::wstring& typed) {
  ScriptedView view(typed);
  EditState state;
  SN_Click(view, state);
  const Cleaned cleaned = CleanSn(typed);
  Require((cleaned.verdict == Verdict::empty) == OnlySeparators(typed));
  if (cleaned.verdict != Verdict::accepted) {
    Require(state.NewSN.empty() && state.NewSNChk.empty() && view.line.empty());
    Require(view.boxes == (cleaned.verdict == Verdict::refused ? 1 : 0));
    return;
  }
  unsigned sum = 0;
  for (wchar_t c : cleaned.value) {
    Require((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z'));
    sum += static_cast<unsigned>(c);
  }
  Require(cleaned.value.size() == 13 && sum >= 624 && sum <= 1170 && view.boxes == 0);
  Require(state.NewSN == cleaned.value);
  Require(state.NewSNChk == std::to_wstring(sum));
  Require(view.line == L"SN:" + cleaned.value + L" CHK:" + state.NewSNChk);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::wstring typed;
  for (std::size_t i = 0; i + 1 < size; i += 2) typed += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  CheckMac(typed);
  CheckSn(typed);
  return 0;
}
