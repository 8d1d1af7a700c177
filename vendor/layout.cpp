#include "vendor/layout.h"

namespace VendorLayout {

std::uint8_t MACChk(const MacBytes& mac) {
  unsigned sum = 0;
  for (std::uint8_t byte : mac) sum += byte;
  return static_cast<std::uint8_t>(sum % 256);
}

std::wstring HexByte(std::uint8_t value) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::optional<std::uint8_t> HexByteValue(std::wstring_view twoDigits) {
  if (twoDigits.size() != 2) return std::nullopt;
  unsigned value = 0;
  for (wchar_t digit : twoDigits) {
    if (digit >= L'0' && digit <= L'9') {
      value = value * 16 + (digit - L'0');
    } else if (digit >= L'A' && digit <= L'F') {
      value = value * 16 + (digit - L'A' + 10);
    } else {
      return std::nullopt;
    }
  }
  return static_cast<std::uint8_t>(value);
}

std::optional<MacBytes> MacBytesOf(std::wstring_view twelveDigits) {
  if (twelveDigits.size() != 2 * kMacLength) return std::nullopt;
  MacBytes mac{};
  for (std::size_t i = 0; i < mac.size(); ++i) {
    std::optional<std::uint8_t> byte = HexByteValue(twelveDigits.substr(2 * i, 2));
    if (!byte) return std::nullopt;
    mac[i] = *byte;
  }
  return mac;
}

namespace {

std::wstring DecimalText(unsigned long sum) {
  std::wstring text;
  do {
    text.insert(text.begin(), static_cast<wchar_t>(L'0' + sum % 10));
    sum /= 10;
  } while (sum != 0);
  return text;
}

}  // namespace

std::wstring SNChk(std::wstring_view sn) {
  unsigned long sum = 0;
  for (wchar_t c : sn) sum += static_cast<unsigned long>(c);
  return DecimalText(sum);
}

std::wstring SNChk(const SnBytes& sn) {
  unsigned long sum = 0;
  for (std::uint8_t byte : sn) sum += byte;
  return DecimalText(sum);
}

}  // namespace VendorLayout
