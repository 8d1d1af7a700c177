#pragma once

#include <memory>
#include <string>

#include "vendor/files.h"

// A file is written under a hidden temporary name beside the one it is to
// have, flushed, and only then named, so that a name is only ever given to
// a whole file: a backup, an export. The temporary name has a random part,
// and nobody takes it for the file itself: ".vendor.bin.0a1b2c3d.tmp".

// Whether candidate is a temporary name made for the file name.
bool IsTemporaryName(const std::wstring& candidate, const std::wstring& name);
// Whether candidate is a temporary name made for any file.
bool IsTemporaryName(const std::wstring& candidate);

struct TemporaryFile {
  std::unique_ptr<ByteFile> file;
  std::wstring path;
};

// A new, empty file under a temporary name beside path.
Result<TemporaryFile> CreateTemporary(Files& files, const std::wstring& path);

// Removes the temporary files that killed runs left beside path; for a
// caller that alone may write them, as one holding path for update.
void RemoveLeftovers(Files& files, const std::wstring& path);
