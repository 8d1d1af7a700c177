#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "files/system_files.h"

// Real files on disk, as the handlers name them (either separator), with
// faults a test can inject: paths that count as hidden, opens that fail with
// the system's words, a wrapper around every opened or created file, and
// appends that fail.
class FakeFiles final : public Files {
 public:
  using Wrapper = std::function<std::unique_ptr<ByteFile>(std::unique_ptr<ByteFile>)>;
  std::set<std::wstring> hidden;
  std::map<std::wstring, std::wstring> openFails;
  Wrapper wrapFile;     // around every opened file
  Wrapper wrapCreated;  // around every created file
  std::optional<std::wstring> appendFails;
  int opens = 0;
  std::vector<std::wstring> looked;  // every path asked whether it exists

  bool Exists(const std::wstring& path) override;
  Result<std::uint64_t> Length(const std::wstring& path) override;
  Result<std::unique_ptr<ByteFile>> Open(const std::wstring& path, Access access) override;
  Result<std::unique_ptr<ByteFile>> Create(const std::wstring& path) override;
  Result<> Publish(const std::wstring& from, const std::wstring& to) override;
  Result<> Remove(const std::wstring& path) override;
  Result<> Append(const std::wstring& path, std::string_view bytes) override;

 private:
  SystemFiles disk_;
};

// A path as the handlers build it ("folder\vendor.bin") and as disk has it.
std::wstring DiskPath(const std::wstring& path);
std::wstring WidePath(const std::filesystem::path& path);

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// A vendor file of the given size with a recognisable filler, and the fields
// set from the texts given (MAC as 14 hex digits including the check).
std::vector<std::uint8_t> VendorBytes(const std::string& macWithCheck, const std::string& sn,
                                      const std::string& snCheck, std::size_t size = 65536);
