#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vendor/result.h"

// The file operations the vendor-file rules need, so the same rules run on
// Win32, on POSIX and on the fakes of the tests.

// An open file. Closing it is the destructor's job, so no path skips it.
class ByteFile {
 public:
  virtual ~ByteFile() = default;
  virtual Result<std::uint64_t> Size() = 0;
  // Reads or writes exactly bytes.size() bytes at offset, each with one call
  // of the system; anything less fails.
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
  // A new, empty file to write, never one that exists already: a failure
  // whose cause is Failure::Cause::exists when one does.
  virtual Result<std::unique_ptr<ByteFile>> Create(const std::wstring& path) = 0;
  // Gives the file at from the name to, which must be in the same folder and
  // free (Failure::Cause::exists when it is not: nothing is ever replaced),
  // and returns once the new name is on the device.
  virtual Result<> Publish(const std::wstring& from, const std::wstring& to) = 0;
  // The same, replacing a file of that name.
  virtual Result<> Replace(const std::wstring& from, const std::wstring& to) = 0;
  virtual Result<> Remove(const std::wstring& path) = 0;
  // The names of the entries of a folder, without the folder.
  virtual Result<std::vector<std::wstring>> Names(const std::wstring& folder) = 0;
  // Adds the bytes at the end of a file, made when missing, with one write,
  // so that programs appending at once never mix their lines; then flushes.
  virtual Result<> Append(const std::wstring& path, std::string_view bytes) = 0;
};
