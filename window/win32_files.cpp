#include "window/win32_files.h"

#include "window/handles.h"
#include "window/system_error.h"

namespace {

Failure LastError() { return SystemErrorText(::GetLastError()); }

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

class Win32File final : public ByteFile {
 public:
  explicit Win32File(UniqueFile file) : file_(std::move(file)) {}

  Failure Size(std::uint64_t& bytes) override {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file_.get(), &size)) return LastError();
    bytes = static_cast<std::uint64_t>(size.QuadPart);
    return std::nullopt;
  }

  Failure Read(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    OVERLAPPED at = At(offset);
    DWORD done = 0;
    if (!::ReadFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, &at)) {
      return LastError();
    }
    if (done != bytes.size()) return std::wstring(L"文件读取不完整。");
    return std::nullopt;
  }

  Failure Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    OVERLAPPED at = At(offset);
    DWORD done = 0;
    if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, &at)) {
      return LastError();
    }
    if (done != bytes.size()) return std::wstring(L"文件写入不完整。");
    return std::nullopt;
  }

  Failure Flush() override {
    if (!::FlushFileBuffers(file_.get())) return LastError();
    return std::nullopt;
  }

 private:
  UniqueFile file_;
};

}  // namespace

bool NormalFileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

Length FileLengthOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return {0, LastError()};
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {0, std::nullopt};
  return {(static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, std::nullopt};
}

Opened OpenFileFor(const std::wstring& path, Access access) {
  const bool update = access == Access::update;
  // While we write, others may only read: no second writer, no delete.
  UniqueFile file = OwnFile(::CreateFileW(path.c_str(), update ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                                          update ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {nullptr, LastError()};
  return {std::make_unique<Win32File>(std::move(file)), std::nullopt};
}
