#include "tests/support/vendor_bytes.h"

std::vector<std::uint8_t> VendorBytes(const std::string& macWithCheck, const std::string& sn,
                                      const std::string& snCheck, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  for (std::size_t i = 0; i + 1 < macWithCheck.size() && i / 2 < 7; i += 2) {
    bytes[i / 2] = static_cast<std::uint8_t>(std::stoi(macWithCheck.substr(i, 2), nullptr, 16));
  }
  for (std::size_t i = 0; i < sn.size(); ++i) bytes[35 + i] = static_cast<std::uint8_t>(sn[i]);
  for (std::size_t i = 0; i < snCheck.size(); ++i) bytes[53 + i] = static_cast<std::uint8_t>(snCheck[i]);
  return bytes;
}
