#pragma once

#include <cstdint>
#include <string>

#include "vendor/edit_state.h"
#include "vendor/files.h"
#include "vendor/layout.h"

// Reading and writing a vendor file's four fields, for any front end: the
// window's handlers and the command-line tool both come through here.

// The four fields as the file stores them, checked against nothing.
struct StoredFields {
  VendorLayout::MacBytes mac{};
  std::uint8_t macCheck = 0;
  VendorLayout::SnBytes sn{};
  VendorLayout::SnChkBytes snCheck{};

  // A stored check is the one its field gives.
  bool MacConsistent() const;
  bool SnConsistent() const;
  bool Consistent() const { return MacConsistent() && SnConsistent(); }
};

// Opens the file for reading, makes sure it is 65,536 bytes long and reads
// the fields; or does the same on a file opened already.
Result<StoredFields> ReadFields(Files& files, const std::wstring& path);
Result<StoredFields> ReadFields(ByteFile& file);

enum class Restore {
  notNeeded,  // written, or failed before any byte went out
  done,       // failed after writing began; the fields read back as they were
  failed,     // failed after writing began, and the old fields are not all back
};

struct WriteReport {
  Result<> written;  // the bytes are on the device and read back equal, or why not
  Restore restore = Restore::notNeeded;
};

// Writes the pending MAC and SN of edits, with their check values, into the
// file at edits.BinPath, in place, only while the file is 65,536 bytes long.
// The update is one write of the file's first kFieldBytes bytes, as read
// just before from the same locked file with the new fields put in: a write
// within one sector is kept whole, so killed at any instant the file holds
// all its old fields or all its new ones, and every other byte keeps its
// value. Then it flushes and reads the bytes back. When any of that fails
// after the write began, one write of the old bytes puts them back.
WriteReport WriteEdits(Files& files, const EditState& edits);
// The same on the file opened for update already, and held since.
WriteReport WriteEdits(ByteFile& file, const EditState& edits);
