#pragma once

#include <span>
#include <string>

#include "vendor/vendor_file.h"

// What the tool reports of one vendor file: its four fields as stored, the
// check values they should carry, and whether the stored ones match.

struct Reading {
  std::wstring path;
  Result<StoredFields> fields;
};

// Stored bytes as text: printable ASCII as itself, any other byte as U+FFFD.
std::string ShownText(std::span<const std::uint8_t> bytes);

// One JSON line, keys in a fixed order: path, ok, then error or the fields.
std::string ReadingJson(const Reading& reading);
// A few lines for people; nothing when the file could not be read.
std::string ReadingText(const Reading& reading);
