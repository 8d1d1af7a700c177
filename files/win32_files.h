#pragma once

#include "vendor/files.h"

// Files on Win32, by wide paths; long paths work as far as the manifest and
// the system allow them.
class Win32Files final : public Files {
 public:
  bool Exists(const std::wstring& path) override;
  Result<std::uint64_t> Length(const std::wstring& path) override;
  Result<std::unique_ptr<ByteFile>> Open(const std::wstring& path, Access access) override;
};
