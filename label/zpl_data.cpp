#include "label/zpl_data.h"

#include <cstdio>

std::string ZplData(const std::string& data, bool code128, char indicator) {
  std::string out;
  for (const char c : data) {
    const auto byte = static_cast<unsigned char>(c);
    if (code128 && c == '>') {
      out += "><";
    } else if (c == '^' || c == '~' || c == indicator || byte < 0x20 || byte > 0x7E) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", byte);
      out += indicator;
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}
