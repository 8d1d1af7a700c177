#pragma once

#include <cstdint>
#include <string>

#include "vendor/layout.h"

// The two field lines as the window shows them, after a load or an entry.

std::wstring MacLine(const VendorLayout::MacBytes& mac, std::uint8_t check);
// The SN and its check as characters: the stored bytes as the code page
// shows them, or a pending SN with its whole check text.
std::wstring SnLine(std::wstring_view sn, std::wstring_view check);

// ASCII text, or bytes that are ASCII codes, as the lines show them.
std::wstring AsciiWide(std::string_view ascii);
std::wstring AsciiWide(std::span<const std::uint8_t> ascii);

// Stands in for a byte that has no visible character of its own. A control
// character, NUL above all, would otherwise end or garble a label's text.
inline constexpr wchar_t kUnshowableByte = L'\uFFFD';
