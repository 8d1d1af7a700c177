#include "cli/reading.h"

#include "files/utf8.h"

namespace {

using namespace VendorLayout;

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string hex;
  for (std::uint8_t byte : bytes) hex += Utf8(HexByte(byte));
  return hex;
}

std::string MacCheckExpected(const StoredFields& fields) { return Utf8(HexByte(MACChk(fields.mac))); }

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
  for (std::uint8_t byte : bytes)
    text += byte >= 0x20 && byte < 0x7F ? std::string(1, static_cast<char>(byte)) : "\uFFFD";
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
      return "the file is no longer 65,536 bytes long; nothing was written";
    case Failure::Cause::readBackDiffers:
      return "the bytes read back after writing differ from those written";
    case Failure::Cause::invalidEdits:
      return "the new values are not valid; nothing was written";
  }
  return Utf8(failure.text);
}

nlohmann::ordered_json ReadingJson(const Reading& reading) {
  nlohmann::ordered_json json;
  json["path"] = Utf8(reading.path);
  json["ok"] = reading.fields.has_value();
  if (!reading.fields) {
    json["error"] = Describe(reading.fields.error());
    return json;
  }
  const StoredFields& fields = *reading.fields;
  json["mac"] = MacText(fields.mac);
  json["mac_check"] = Utf8(HexByte(fields.macCheck));
  json["mac_check_expected"] = MacCheckExpected(fields);
  json["sn"] = ShownText(fields.sn);
  json["sn_check"] = ShownText(fields.snCheck);
  json["sn_hex"] = Hex(fields.sn);
  json["sn_check_hex"] = Hex(fields.snCheck);
  json["sn_check_expected"] = SnCheckExpected(fields);
  json["consistent"] = Consistent(fields);
  return json;
}

std::string ReadingText(const Reading& reading) {
  if (!reading.fields) return {};
  const StoredFields& fields = *reading.fields;
  return Utf8(reading.path) + "\n  MAC " + MacText(fields.mac) + "   check " +
         Utf8(HexByte(fields.macCheck)) + "   " +
         CheckVerdict(MacConsistent(fields), MacCheckExpected(fields)) + "\n  SN  " + ShownText(fields.sn) +
         "  check " + ShownText(fields.snCheck) + "  " +
         CheckVerdict(SnConsistent(fields), SnCheckExpected(fields)) + "\n";
}
