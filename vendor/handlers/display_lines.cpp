#include "vendor/handlers/display_lines.h"

std::wstring AsciiWide(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring AsciiWide(std::span<const std::uint8_t> ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

std::wstring MacLine(const VendorLayout::MacBytes& mac, std::uint8_t check) {
  return L"MAC:" + AsciiWide(VendorLayout::HexText(mac)) + L"  效验:" +
         AsciiWide(VendorLayout::HexText(std::span(&check, 1)));
}

std::wstring SnLine(std::wstring_view sn, std::wstring_view check) {
  std::wstring line = L"SN:";
  line += sn;
  line += L" CHK:";
  line += check;
  return line;
}
