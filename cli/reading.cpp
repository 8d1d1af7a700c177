#include "cli/reading.h"

#include "cli/json.h"
#include "cli/messages.h"
#include "files/utf8.h"

namespace {

using namespace VendorLayout;

std::string MacCheckExpected(const StoredFields& fields) {
  const std::uint8_t check = MACChk(fields.mac);
  return HexText(std::span(&check, 1));
}

std::string CheckVerdict(bool consistent, const std::string& expected) {
  return consistent ? "matches" : "stale, expected " + expected;
}

}  // namespace

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
  // Written field by field: a check of ten thousand files costs little more
  // than reading them.
  std::string line = "{\"path\":" + JsonText(Utf8(reading.path));
  if (!reading.fields)
    return line + ",\"ok\":false,\"error\":" + JsonText(Describe(reading.fields.error())) + "}\n";
  const StoredFields& fields = *reading.fields;
  line += ",\"ok\":true,\"mac\":\"" + HexText(fields.mac) + "\",\"mac_check\":\"" +
          HexText(std::span(&fields.macCheck, 1)) + "\",\"mac_check_expected\":\"" +
          MacCheckExpected(fields) + "\",\"sn\":" + JsonText(ShownText(fields.sn)) +
          ",\"sn_check\":" + JsonText(ShownText(fields.snCheck)) + ",\"sn_hex\":\"" + HexText(fields.sn) +
          "\",\"sn_check_hex\":\"" + HexText(fields.snCheck) + "\",\"sn_check_expected\":\"" +
          StoredSNChk(fields.sn) + "\",\"consistent\":" + (fields.Consistent() ? "true" : "false") + "}\n";
  return line;
}

std::string ReadingText(const Reading& reading) {
  if (!reading.fields) return {};
  const StoredFields& fields = *reading.fields;
  return Utf8(reading.path) + "\n  MAC " + HexText(fields.mac) + "   check " +
         HexText(std::span(&fields.macCheck, 1)) + "   " +
         CheckVerdict(fields.MacConsistent(), MacCheckExpected(fields)) + "\n  SN  " + ShownText(fields.sn) +
         "  check " + ShownText(fields.snCheck) + "  " +
         CheckVerdict(fields.SnConsistent(), StoredSNChk(fields.sn)) + "\n";
}
