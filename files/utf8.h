#pragma once

#include <string>
#include <string_view>

// Text crosses to POSIX calls, consoles and logs as UTF-8. A byte that is not
// part of valid UTF-8 (a Linux file name may hold any) becomes U+DC80 to
// U+DCFF and turns back into the same byte, so no path is lost on the way.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view text);

// Whether text is valid UTF-8 throughout.
bool IsUtf8(std::string_view text);

// The same as UTF-16, as ODBC's wide functions take text on every system.
std::u16string Utf16(std::string_view utf8);
std::string Utf8(std::u16string_view text);
