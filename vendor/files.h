#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "vendor/result.h"

// The file operations the vendor-file rules need, so the same rules run on
// Win32, on POSIX and on the fakes of the tests.

// An open file. Closing it is the destructor's job, so no path skips it.
class ByteFile {
 public:
  virtual ~ByteFile() = default;
  virtual Result<std::uint64_t> Size() = 0;
  // Reads or writes exactly bytes.size() bytes at offset; anything less fails.
  virtual Result<> Read(std::uint64_t offset, std::span<std::uint8_t> bytes) = 0;
  virtual Result<> Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
  // Returns once the written bytes are on the device.
  virtual Result<> Flush() = 0;
};

enum class Access {
  read,    // others may read and write meanwhile
  update,  // read and write an existing file; others may only read it
};

class Files {
 public:
  virtual ~Files() = default;
  // True for a normal file only: not a folder, not hidden, not a system file.
  virtual bool Exists(const std::wstring& path) = 0;
  // A folder has no length of its own: 0.
  virtual Result<std::uint64_t> Length(const std::wstring& path) = 0;
  // Never creates a file.
  virtual Result<std::unique_ptr<ByteFile>> Open(const std::wstring& path, Access access) = 0;
};
