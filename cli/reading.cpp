#include "cli/reading.h"

#include <algorithm>

#include "cli/json.h"
#include "cli/messages.h"

namespace {

using namespace VendorLayout;

std::string CheckVerdict(bool consistent, const std::string& expected) {
  return consistent ? "matches" : "stale, expected " + expected;
}

}  // namespace

Reading::Reading(std::string given, Result<StoredFields> read)
    : path(std::move(given)), fields(std::move(read)) {
  if (!fields) return;
  const std::uint8_t expected = MACChk(fields->mac);
  mac = HexText(fields->mac);
  macCheck = HexText(std::span(&fields->macCheck, 1));
  macCheckExpected = HexText(std::span(&expected, 1));
  sn = ShownText(fields->sn);
  snCheck = ShownText(fields->snCheck);
  snCheckExpected = StoredSNChk(fields->sn);
  macConsistent = fields->macCheck == expected;
  snConsistent = std::equal(fields->snCheck.begin(), fields->snCheck.end(), snCheckExpected.begin(),
                            snCheckExpected.end());
}

std::string ShownText(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::uint8_t byte : bytes) {
    if (byte >= 0x20 && byte < 0x7F) {
      text += static_cast<char>(byte);
    } else {
      text += "\uFFFD";
    }
  }
  return text;
}

std::string ReadingJson(const Reading& reading) {
  std::string line = "{\"path\":" + JsonText(reading.path);
  if (!reading.fields)
    return line + ",\"ok\":false,\"error\":" + JsonText(Describe(reading.fields.error())) + "}\n";
  line.reserve(line.size() + 300);
  line += ",\"ok\":true,\"mac\":\"";
  line += reading.mac;
  line += "\",\"mac_check\":\"";
  line += reading.macCheck;
  line += "\",\"mac_check_expected\":\"";
  line += reading.macCheckExpected;
  line += "\",\"sn\":";
  line += JsonText(reading.sn);
  line += ",\"sn_check\":";
  line += JsonText(reading.snCheck);
  line += ",\"sn_hex\":\"";
  line += HexText(reading.fields->sn);
  line += "\",\"sn_check_hex\":\"";
  line += HexText(reading.fields->snCheck);
  line += "\",\"sn_check_expected\":\"";
  line += reading.snCheckExpected;
  line += reading.Consistent() ? "\",\"consistent\":true}\n" : "\",\"consistent\":false}\n";
  return line;
}

std::string ReadingText(const Reading& reading) {
  if (!reading.fields) return {};
  std::string text;
  text.reserve(reading.path.size() + 120);
  text += reading.path;
  text += "\n  MAC ";
  text += reading.mac;
  text += "   check ";
  text += reading.macCheck;
  text += "   ";
  text += CheckVerdict(reading.macConsistent, reading.macCheckExpected);
  text += "\n  SN  ";
  text += reading.sn;
  text += "  check ";
  text += reading.snCheck;
  text += "  ";
  text += CheckVerdict(reading.snConsistent, reading.snCheckExpected);
  text += "\n";
  return text;
}
