#include "cli/reading.h"

#include <algorithm>
#include <string_view>

#include "cli/json.h"
#include "cli/messages.h"

namespace {

using namespace VendorLayout;

// Appends the parts, the room for all of them taken once: check may read ten
// thousand files in one call.
template <class... Parts>
void Append(std::string& text, const Parts&... parts) {
  text.reserve(text.size() + (std::string_view(parts).size() + ...));
  (text.append(parts), ...);
}

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
  Append(line, ",\"ok\":true,\"mac\":\"", reading.mac, "\",\"mac_check\":\"", reading.macCheck,
         "\",\"mac_check_expected\":\"", reading.macCheckExpected, "\",\"sn\":", JsonText(reading.sn),
         ",\"sn_check\":", JsonText(reading.snCheck), ",\"sn_hex\":\"", HexText(reading.fields->sn),
         "\",\"sn_check_hex\":\"", HexText(reading.fields->snCheck), "\",\"sn_check_expected\":\"",
         reading.snCheckExpected,
         reading.Consistent() ? "\",\"consistent\":true}\n" : "\",\"consistent\":false}\n");
  return line;
}

std::string ReadingText(const Reading& reading) {
  if (!reading.fields) return {};
  std::string text;
  Append(text, reading.path, "\n  MAC ", reading.mac, "   check ", reading.macCheck, "   ",
         CheckVerdict(reading.macConsistent, reading.macCheckExpected), "\n  SN  ", reading.sn, "  check ",
         reading.snCheck, "  ", CheckVerdict(reading.snConsistent, reading.snCheckExpected), "\n");
  return text;
}
