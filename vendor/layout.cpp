#include "vendor/layout.h"

namespace VendorLayout {

std::uint8_t MACChk(const MacBytes& mac) {
  unsigned sum = 0;
  for (std::uint8_t byte : mac) sum += byte;
  return static_cast<std::uint8_t>(sum % 256);
}

std::string SNChk(const SnBytes& sn) {
  unsigned sum = 0;
  for (std::uint8_t byte : sn) sum += byte;
  return std::to_string(sum);
}

std::string StoredSNChk(const SnBytes& sn) { return SNChk(sn).substr(0, kSnChkLength); }

std::string HexText(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(2 * bytes.size());
  for (std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

namespace {

std::optional<unsigned> HexDigitValue(wchar_t digit) {
  if (digit >= L'0' && digit <= L'9') return digit - L'0';
  if (digit >= L'A' && digit <= L'F') return digit - L'A' + 10;
  return std::nullopt;
}

}  // namespace

std::optional<MacBytes> MacBytesOf(std::wstring_view twelveDigits) {
  if (twelveDigits.size() != 2 * kMacLength) return std::nullopt;
  MacBytes mac{};
  for (std::size_t i = 0; i < mac.size(); ++i) {
    const std::optional<unsigned> high = HexDigitValue(twelveDigits[2 * i]);
    const std::optional<unsigned> low = HexDigitValue(twelveDigits[2 * i + 1]);
    if (!high || !low) return std::nullopt;
    mac[i] = static_cast<std::uint8_t>(*high * 16 + *low);
  }
  return mac;
}

std::optional<MacDoubt> DoubtAbout(const MacBytes& mac) {
  if (mac == MacBytes{}) return MacDoubt::allZero;
  if (mac == MacBytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) return MacDoubt::broadcast;
  if (mac[0] & 1) return MacDoubt::multicast;
  return std::nullopt;
}

}  // namespace VendorLayout
