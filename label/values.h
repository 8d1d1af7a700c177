#pragma once

#include <string>
#include <string_view>

#include "vendor/layout.h"
#include "vendor/result.h"

// What a label tells of one unit: its MAC and SN, and, for a site's own
// template, when and where the unit was written (the ledger's unit), or else
// when and where the label was made.
struct LabelValues {
  VendorLayout::MacBytes mac{};
  VendorLayout::SnBytes sn{};
  std::string time;     // UTC, ISO 8601, as the tool writes times: 2026-12-10T14:03:07Z
  std::string station;  // UTF-8
};

// The values as a label writes them.
struct LabelTexts {
  std::string mac;        // 001132ABCDEF, as its barcode holds it
  std::string macColons;  // 00:11:32:AB:CD:EF
  std::string macDashes;  // 00-11-32-AB-CD-EF
  std::string sn;
  std::string matrix;  // MAC:001132ABCDEF;SN:<the SN>, the Data Matrix's content
  std::string time, station;
};

// Text of a label's as messages take it: ASCII as itself, any other byte
// as U+FFFD, so a refusal that quotes a template never garbles.
std::wstring Words(std::string_view text);

// Refused when the SN holds a byte outside printable ASCII, which no label
// font or barcode here carries, or the time or station a control character.
Result<LabelTexts> TextsOf(const LabelValues& values);
