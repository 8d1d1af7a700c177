#pragma once

#include "vendor/files.h"

// The files of the system the program runs on, by wide paths: Win32 files on
// Windows (system_files_win32.cpp), POSIX files elsewhere, with paths passed
// as UTF-8 (system_files_posix.cpp). An open for update keeps other writers
// out: Windows' share mode does it there, an exclusive advisory lock here.
class SystemFiles final : public Files {
 public:
  bool Exists(const std::wstring& path) override;
  Result<std::uint64_t> Length(const std::wstring& path) override;
  Result<std::unique_ptr<ByteFile>> Open(const std::wstring& path, Access access) override;
  Result<std::unique_ptr<ByteFile>> Create(const std::wstring& path) override;
  Result<> Publish(const std::wstring& from, const std::wstring& to) override;
  Result<> Replace(const std::wstring& from, const std::wstring& to) override;
  Result<> Remove(const std::wstring& path) override;
  Result<std::vector<std::wstring>> Names(const std::wstring& folder) override;
  Result<> Append(const std::wstring& path, std::string_view bytes) override;
};
