#include "vendor/entry.h"

#include <algorithm>

namespace {

using namespace VendorLayout;

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsHexDigit(wchar_t c) { return IsDigit(c) || (c >= L'A' && c <= L'F'); }
bool IsSnCharacter(wchar_t c) { return IsDigit(c) || (c >= L'A' && c <= L'Z'); }

// Only a-z: full Unicode case mapping would turn "ı" into "I" and "ſ" into
// "S", admitting values nobody typed.
wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c; }

// The typed text without separators, uppercased, when it has the length and
// only admitted characters.
template <class Admitted>
Entered<std::wstring> Clean(std::wstring_view typed, std::size_t length, Admitted admitted) {
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

}  // namespace

SnChkBytes SnEdit::check() const {
  const std::string digits = StoredSNChk(sn_);
  SnChkBytes bytes{};
  std::copy_n(digits.begin(), bytes.size(), bytes.begin());  // an admitted SN sums to 624 or more
  return bytes;
}

Entered<MacEdit> EnterMac(std::wstring_view typed) {
  const Entered<std::wstring> mac = Clean(typed, 2 * kMacLength, IsHexDigit);
  if (mac.verdict != Verdict::accepted) return {mac.verdict, {}};
  return {Verdict::accepted, MacEdit(*MacBytesOf(*mac.edit))};
}

Entered<SnEdit> EnterSn(std::wstring_view typed) {
  const Entered<std::wstring> sn = Clean(typed, kSnLength, IsSnCharacter);
  if (sn.verdict != Verdict::accepted) return {sn.verdict, {}};
  SnBytes bytes{};
  std::transform(sn.edit->begin(), sn.edit->end(), bytes.begin(),
                 [](wchar_t c) { return static_cast<std::uint8_t>(c); });
  return {Verdict::accepted, SnEdit(bytes)};
}
