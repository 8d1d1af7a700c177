#include "cli/reading.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "files/utf8.h"

namespace {

using namespace VendorLayout;

std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::uint8_t byte : bytes) hex += {kDigits[byte >> 4], kDigits[byte & 0x0F]};
  return hex;
}

std::string HexOf(std::uint8_t byte) { return Hex(std::span(&byte, 1)); }

std::string MacCheckExpected(const StoredFields& fields) { return HexOf(MACChk(fields.mac)); }

// The file keeps the leading three digits of the sum, so that is what a
// stored check is held against.
std::string SnCheckExpected(const StoredFields& fields) {
  return Utf8(SNChk(fields.sn).substr(0, kSnChkLength));
}

bool MacConsistent(const StoredFields& fields) { return fields.macCheck == MACChk(fields.mac); }

bool SnConsistent(const StoredFields& fields) {
  return std::string(fields.snCheck.begin(), fields.snCheck.end()) == SnCheckExpected(fields);
}

std::string CheckVerdict(bool consistent, const std::string& expected) {
  return consistent ? "matches" : "stale, expected " + expected;
}

}  // namespace

std::string MacText(const MacBytes& mac) { return Hex(mac); }

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

bool Consistent(const StoredFields& fields) { return MacConsistent(fields) && SnConsistent(fields); }

std::string Describe(const Failure& failure) {
  switch (failure.cause) {
    case Failure::Cause::system:
    case Failure::Cause::exists:
      return Utf8(failure.text);
    case Failure::Cause::shortRead:
      return "the file ended before all bytes were read";
    case Failure::Cause::shortWrite:
      return "fewer bytes were written than given";
    case Failure::Cause::notVendorFile:
      return "not a vendor file: it is not 65,536 bytes long";
    case Failure::Cause::lengthChanged:
      return "the file is no longer 65,536 bytes long";
    case Failure::Cause::readBackDiffers:
      return "the bytes read back after writing differ from those written";
    case Failure::Cause::invalidEdits:
      return "the new values are not valid";
  }
  return Utf8(failure.text);
}

std::string ReadingJson(const Reading& reading) {
  // Written field by field, each text escaped by nlohmann-json: a check of
  // ten thousand files costs little more than reading them.
  auto text = [](const std::string& value) {
    const bool plain = std::all_of(value.begin(), value.end(),
                                   [](char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; });
    if (plain) return '"' + value + '"';  // nothing to escape
    return nlohmann::json(value).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  };
  std::string line = "{\"path\":" + text(Utf8(reading.path));
  if (!reading.fields)
    return line + ",\"ok\":false,\"error\":" + text(Describe(reading.fields.error())) + "}\n";
  const StoredFields& fields = *reading.fields;
  line += ",\"ok\":true,\"mac\":\"" + MacText(fields.mac) + "\",\"mac_check\":\"" + HexOf(fields.macCheck) +
          "\",\"mac_check_expected\":\"" + MacCheckExpected(fields) +
          "\",\"sn\":" + text(ShownText(fields.sn)) + ",\"sn_check\":" + text(ShownText(fields.snCheck)) +
          ",\"sn_hex\":\"" + Hex(fields.sn) + "\",\"sn_check_hex\":\"" + Hex(fields.snCheck) +
          "\",\"sn_check_expected\":\"" + SnCheckExpected(fields) +
          "\",\"consistent\":" + (Consistent(fields) ? "true" : "false") + "}\n";
  return line;
}

std::string ReadingText(const Reading& reading) {
  if (!reading.fields) return {};
  const StoredFields& fields = *reading.fields;
  return Utf8(reading.path) + "\n  MAC " + MacText(fields.mac) + "   check " + HexOf(fields.macCheck) +
         "   " + CheckVerdict(MacConsistent(fields), MacCheckExpected(fields)) + "\n  SN  " +
         ShownText(fields.sn) + "  check " + ShownText(fields.snCheck) + "  " +
         CheckVerdict(SnConsistent(fields), SnCheckExpected(fields)) + "\n";
}
