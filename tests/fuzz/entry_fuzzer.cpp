// Feeds arbitrary text to the MAC and SN entries and checks what may come
// out: nothing, a refusal, or a value of the right length and alphabet whose
// check value is right. The input's bytes are read as 16-bit code units, as
// Windows hands text over, surrogates and all.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/support/fake_view.h"
#include "vendor/handlers/entry_clicks.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// The window, its input box answered with the fuzzed text.
struct Typed {
  explicit Typed(const std::wstring& text) { view.typed = {text}; }
  FakeView view;
  // What a line shows now; its design text until an entry rewrites it.
  const std::wstring& Line(Label label) { return view.lines[label]; }
  int Boxes() const { return static_cast<int>(view.boxes.size()); }
};

bool OnlySeparators(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c != L':' && c != L'\uFF1A' && c != L' ') return false;
  }
  return true;
}

// What is left of the typed text once the separators are gone, uppercased.
std::wstring Cleaned(const std::wstring& typed) {
  std::wstring text;
  for (wchar_t c : typed) {
    if (c == L':' || c == L'\uFF1A' || c == L' ') continue;
    text += (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
  }
  return text;
}

void CheckMac(const std::wstring& typed) {
  Typed window(typed);
  EditState state;
  MAC_Click(window.view, state);
  Require(!window.view.updateEnabled);  // the entry never touches Update
  const Entered<MacEdit> entered = EnterMac(typed);
  Require((entered.verdict == Verdict::empty) == OnlySeparators(typed));
  if (entered.verdict != Verdict::accepted) {
    Require(!state.NewMAC && window.Line(Label::MAC) == L"MAC");
    Require(window.Boxes() == (entered.verdict == Verdict::refused ? 1 : 0));
    return;
  }
  const std::wstring value = Cleaned(typed);
  Require(value.size() == 12 && window.Boxes() == 0);
  unsigned sum = 0;
  for (std::size_t i = 0; i < 12; i += 2) {
    for (std::size_t k = i; k < i + 2; ++k) {
      const wchar_t c = value[k];
      Require((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'));
    }
    const char pair[3] = {static_cast<char>(value[i]), static_cast<char>(value[i + 1]), 0};
    const auto byte = static_cast<std::uint8_t>(std::strtoul(pair, nullptr, 16));
    Require(state.NewMAC->mac()[i / 2] == byte);
    sum += byte;
  }
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  const std::wstring check{kHex[(sum % 256) / 16], kHex[sum % 16]};
  Require(state.NewMAC->check() == sum % 256);
  Require(window.Line(Label::MAC) == L"MAC:" + value + L"  效验:" + check);
}

void CheckSn(const std::wstring& typed) {
  Typed window(typed);
  EditState state;
  SN_Click(window.view, state);
  Require(!window.view.updateEnabled);
  const Entered<SnEdit> entered = EnterSn(typed);
  Require((entered.verdict == Verdict::empty) == OnlySeparators(typed));
  if (entered.verdict != Verdict::accepted) {
    Require(!state.NewSN && window.Line(Label::SN) == L"SN");
    Require(window.Boxes() == (entered.verdict == Verdict::refused ? 1 : 0));
    return;
  }
  const std::wstring value = Cleaned(typed);
  unsigned sum = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const wchar_t c = value[i];
    Require((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z'));
    Require(state.NewSN->sn()[i] == c);
    sum += static_cast<unsigned>(c);
  }
  Require(value.size() == 13 && sum >= 624 && sum <= 1170 && window.Boxes() == 0);
  const std::string digits = std::to_string(sum);
  Require(state.NewSN->sum() == digits);
  const VendorLayout::SnChkBytes check = state.NewSN->check();
  Require(std::string(check.begin(), check.end()) == digits.substr(0, 3));
  Require(window.Line(Label::SN) == L"SN:" + value + L" CHK:" + std::wstring(digits.begin(), digits.end()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::wstring typed;
  for (std::size_t i = 0; i + 1 < size; i += 2) typed += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  CheckMac(typed);
  CheckSn(typed);
  return 0;
}
