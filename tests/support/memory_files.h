#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "vendor/files.h"

// Files in memory, named as the program names them ("C:\tools\vendor.bin"
// or "/data/vendor.bin": either separator separates), standing in for the
// system's files in the tests of the core and of the tool. It answers as
// POSIX files do, in the system's words ("No such file or directory").
class MemoryFiles final : public Files {
 public:
  // What a test puts in place.
  void Put(const std::wstring& path, std::vector<std::uint8_t> bytes);
  void PutFolder(const std::wstring& path);
  // The file stays, but no longer counts as a normal file (hidden or system).
  void Hide(const std::wstring& path);

  // What a test looks at.
  std::optional<std::vector<std::uint8_t>> Bytes(const std::wstring& path) const;
  std::vector<std::wstring> Paths() const;  // every file, in order
  int opens = 0;                            // files opened
  std::vector<std::wstring> looked;         // every path asked whether it exists

  bool Exists(const std::wstring& path) override;
  Result<std::uint64_t> Length(const std::wstring& path) override;
  Result<std::unique_ptr<ByteFile>> Open(const std::wstring& path, Access access) override;
  Result<std::unique_ptr<ByteFile>> Create(const std::wstring& path) override;
  Result<> Publish(const std::wstring& from, const std::wstring& to) override;
  Result<> Replace(const std::wstring& from, const std::wstring& to) override;
  Result<> Remove(const std::wstring& path) override;
  Result<std::vector<std::wstring>> Names(const std::wstring& folder) override;
  Result<> Append(const std::wstring& path, std::string_view bytes) override;

 private:
  class File;
  static std::wstring Key(const std::wstring& path);

  std::map<std::wstring, std::vector<std::uint8_t>> files_;
  std::set<std::wstring> folders_, hidden_;
};
