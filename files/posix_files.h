#pragma once

#include "vendor/files.h"

// Files on a POSIX system: paths are UTF-8 on the way to the system, opens
// for update take an exclusive advisory lock, as Windows' share mode keeps a
// second writer out there.
class PosixFiles final : public Files {
 public:
  bool Exists(const std::wstring& path) override;
  Result<std::uint64_t> Length(const std::wstring& path) override;
  Result<std::unique_ptr<ByteFile>> Open(const std::wstring& path, Access access) override;
};
