#include "files/utf8.h"

namespace {

constexpr char32_t kEscapedByte = 0xDC00;  // + the byte, 0x80 to 0xFF

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void AppendWide(std::wstring& out, char32_t c) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (c >> 10));
      out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
      return;
    }
  }
  out += static_cast<wchar_t>(c);
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The code point of the sequence at text[i], and its length; none (0) when
// it is not valid UTF-8: truncated, overlong, a surrogate or past U+10FFFF.
std::size_t Decode(std::string_view text, std::size_t i, char32_t& c) {
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    c = lead;
    return 1;
  }
  const std::size_t extra = (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : 0;
  if (extra == 0 || i + extra >= text.size()) return 0;
  c = lead & (0x7F >> extra);
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  if (c < kLeast[extra] || c > 0x10FFFF || IsSurrogate(c)) return 0;
  return extra + 1;
}

}  // namespace

std::wstring Wide(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {  // most paths are mostly ASCII
      out += static_cast<wchar_t>(utf8[i++]);
      continue;
    }
    char32_t c = 0;
    const std::size_t length = Decode(utf8, i, c);
    if (length == 0) {
      AppendWide(out, kEscapedByte + static_cast<unsigned char>(utf8[i]));
      ++i;
    } else {
      AppendWide(out, c);
      i += length;
    }
  }
  return out;
}

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const std::size_t length = Decode(text, i, c);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string Utf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(text[i]);
    if (c < 0x80) {  // most paths are mostly ASCII
      out += static_cast<char>(c);
      continue;
    }
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
    } else if (c >= kEscapedByte + 0x80 && c <= kEscapedByte + 0xFF) {
      out += static_cast<char>(c - kEscapedByte);
      continue;
    } else if (IsSurrogate(c) || c > 0x10FFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::u16string Utf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (const wchar_t c : Wide(utf8)) {
    auto point = static_cast<char32_t>(c);
    if (point >= 0x10000) {  // only where wchar_t holds whole code points
      point -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (point >> 10));
      point = 0xDC00 + (point & 0x3FF);
    }
    out += static_cast<char16_t>(point);
  }
  return out;
}

std::string Utf8(std::u16string_view text) {
  std::wstring wide;
  wide.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    const bool pair = sizeof(wchar_t) == 4 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    wide += static_cast<wchar_t>(c);
  }
  return Utf8(wide);
}
