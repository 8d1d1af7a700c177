#include "vendor/entry.h"

#include <algorithm>

#include "vendor/display_lines.h"
#include "vendor/layout.h"
#include "vendor/texts.h"

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsHexDigit(wchar_t c) { return IsDigit(c) || (c >= L'A' && c <= L'F'); }
bool IsSnCharacter(wchar_t c) { return IsDigit(c) || (c >= L'A' && c <= L'Z'); }

// Only a-z: full Unicode case mapping would turn "ı" into "I" and "ſ" into
// "S", admitting values nobody typed.
wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c; }

template <class Admitted>
Cleaned Clean(std::wstring_view typed, std::size_t length, Admitted admitted) {
  std::wstring text;
  for (wchar_t c : typed) {
    if (c != L':' && c != L'\uFF1A' && c != L' ') text += AsciiUpper(c);
  }
  if (text.empty()) return {Verdict::empty, {}};
  if (text.size() != length || !std::all_of(text.begin(), text.end(), admitted)) {
    return {Verdict::refused, {}};
  }
  return {Verdict::accepted, text};
}

void Refuse(MainView& view, const wchar_t* message) {
  view.ShowMessage(message, BoxStyle::critical, Texts::kErrorTitle);
}

}  // namespace

Cleaned CleanMac(std::wstring_view typed) { return Clean(typed, 2 * VendorLayout::kMacLength, IsHexDigit); }

Cleaned CleanSn(std::wstring_view typed) { return Clean(typed, VendorLayout::kSnLength, IsSnCharacter); }

std::wstring PendMac(EditState& state, std::wstring_view twelveDigits) {
  const std::wstring check =
      VendorLayout::HexByte(VendorLayout::MACChk(*VendorLayout::MacBytesOf(twelveDigits)));
  state.NewMAC = std::wstring(twelveDigits) + check;
  return check;
}

std::wstring PendSn(EditState& state, std::wstring_view sn) {
  state.NewSNChk = VendorLayout::SNChk(sn);
  state.NewSN = sn;
  return state.NewSNChk;
}

void MAC_Click(MainView& view, EditState& state) {
  const Cleaned mac = CleanMac(view.AskText(Texts::kMacPrompt, Texts::kMacTitle, Texts::kMacDefault));
  if (mac.verdict == Verdict::empty) return;
  if (mac.verdict == Verdict::refused) return Refuse(view, Texts::kMacRefused);
  view.SetLine(Label::MAC, MacLine(mac.value, PendMac(state, mac.value)));
}

void SN_Click(MainView& view, EditState& state) {
  const Cleaned sn = CleanSn(view.AskText(Texts::kSnPrompt, Texts::kSnTitle, L""));
  if (sn.verdict == Verdict::empty) return;
  if (sn.verdict == Verdict::refused) return Refuse(view, Texts::kSnRefused);
  view.SetLine(Label::SN, SnLine(sn.value, PendSn(state, sn.value)));
}
