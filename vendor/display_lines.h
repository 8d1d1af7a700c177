#pragma once

#include <string>
#include <string_view>

// The two field lines as the window shows them, after a load or an entry.

std::wstring MacLine(std::wstring_view twelveDigits, std::wstring_view check);
std::wstring SnLine(std::wstring_view sn, std::wstring_view check);

// Stands in for a byte that has no visible character of its own. A control
// character, NUL above all, would otherwise end or garble a label's text.
inline constexpr wchar_t kUnshowableByte = L'\uFFFD';
