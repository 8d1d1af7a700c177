#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "files/system_files.h"

// Real files on disk, as the handlers name them (either separator), with
// faults a test can inject: paths that count as hidden, opens that fail with
// the system's words, and a wrapper around every opened file.
class FakeFiles final : public Files {
 public:
  std::set<std::wstring> hidden;
  std::map<std::wstring, std::wstring> openFails;
  std::function<std::unique_ptr<ByteFile>(std::unique_ptr<ByteFile>)> wrapFile;
  int opens = 0;
  std::vector<std::wstring> looked;  // every path asked whether it exists

  bool Exists(const std::wstring& path) override;
  Result<std::uint64_t> Length(const std::wstring& path) override;
  Result<std::unique_ptr<ByteFile>> Open(const std::wstring& path, Access access) override;

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
