#pragma once

#include <string>

#include "vendor/vendor_file.h"

// What the tool reports of one vendor file: its four fields as stored, the
// check values they should carry, and whether the stored ones match.

struct Reading {
  std::wstring path;
  Result<StoredFields> fields;
};

// The MAC as 12 uppercase hex digits.
std::string MacText(const VendorLayout::MacBytes& mac);
// Stored bytes as text: printable ASCII as itself, any other byte as U+FFFD.
std::string ShownText(std::span<const std::uint8_t> bytes);
// Both stored checks equal the values their fields give.
bool Consistent(const StoredFields& fields);

// The failure in the tool's words.
std::string Describe(const Failure& failure);

// One JSON line, keys in a fixed order: path, ok, then error or the fields.
std::string ReadingJson(const Reading& reading);
// A few lines for people; nothing when the file could not be read.
std::string ReadingText(const Reading& reading);
