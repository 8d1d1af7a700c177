#pragma once

#include <span>
#include <string>

#include "vendor/vendor_file.h"

// What the tool reports of one vendor file: its four fields as stored, the
// check values they should carry, and whether the stored ones match; each
// worked out once, since check may read ten thousand files in one call.

struct Reading {
  Reading(std::string path, Result<StoredFields> fields);

  std::string path;  // as given
  Result<StoredFields> fields;
  // The fields as text; empty when the file could not be read.
  std::string mac, macCheck, macCheckExpected, sn, snCheck, snCheckExpected;
  bool macConsistent = false, snConsistent = false;

  bool Consistent() const { return macConsistent && snConsistent; }
};

// Stored bytes as text: printable ASCII as itself, any other byte as U+FFFD.
std::string ShownText(std::span<const std::uint8_t> bytes);

// One JSON line, keys in a fixed order: path, ok, then error or the fields.
std::string ReadingJson(const Reading& reading);
// A few lines for people; nothing when the file could not be read.
std::string ReadingText(const Reading& reading);
