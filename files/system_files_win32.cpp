#include "files/system_files.h"

#include <windows.h>

#include "files/win32_error.h"

namespace {

Failure LastError() { return SystemFailure(SystemErrorText(::GetLastError())); }

struct HandleCloser {
  void operator()(HANDLE file) const { ::CloseHandle(file); }
};
// CreateFileW reports failure as INVALID_HANDLE_VALUE, not null: keep that
// out of the owner.
using UniqueFile = std::unique_ptr<void, HandleCloser>;
UniqueFile OwnFile(HANDLE file) { return UniqueFile(file == INVALID_HANDLE_VALUE ? nullptr : file); }

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// Moves size bytes at offset with one ReadFile or WriteFile: the fields are a
// few bytes long, so anything less is a failure.
template <class Call>
Result<> Transfer(std::uint64_t offset, std::size_t size, Failure::Cause shortCause, Call call) {
  OVERLAPPED at = At(offset);
  DWORD done = 0;
  if (!call(&done, &at)) return LastError();
  if (done != size) return Failure(shortCause);
  return {};
}

class Win32File final : public ByteFile {
 public:
  explicit Win32File(UniqueFile file) : file_(std::move(file)) {}

  Result<std::uint64_t> Size() override {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file_.get(), &size)) return LastError();
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  Result<> Read(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    return Transfer(offset, bytes.size(), Failure::Cause::shortRead, [&](DWORD* done, OVERLAPPED* at) {
      return ::ReadFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), done, at);
    });
  }

  Result<> Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    return Transfer(offset, bytes.size(), Failure::Cause::shortWrite, [&](DWORD* done, OVERLAPPED* at) {
      return ::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), done, at);
    });
  }

  Result<> Flush() override {
    if (!::FlushFileBuffers(file_.get())) return LastError();
    return {};
  }

 private:
  UniqueFile file_;
};

}  // namespace

bool SystemFiles::Exists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

Result<std::uint64_t> SystemFiles::Length(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return LastError();
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::uint64_t{0};
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

Result<std::unique_ptr<ByteFile>> SystemFiles::Open(const std::wstring& path, Access access) {
  const bool update = access == Access::update;
  // While we write, others may only read: no second writer, no delete.
  UniqueFile file = OwnFile(::CreateFileW(path.c_str(), update ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                                          update ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastError();
  return std::unique_ptr<ByteFile>(std::make_unique<Win32File>(std::move(file)));
}

Result<std::unique_ptr<ByteFile>> SystemFiles::Create(const std::wstring& path) {
  UniqueFile file = OwnFile(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                          nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file && ::GetLastError() == ERROR_FILE_EXISTS)
    return Failure(Failure::Cause::exists, LastError().text);
  if (!file) return LastError();
  return std::unique_ptr<ByteFile>(std::make_unique<Win32File>(std::move(file)));
}

Result<> SystemFiles::Publish(const std::wstring& from, const std::wstring& to) {
  // Without MOVEFILE_REPLACE_EXISTING an existing file is never replaced.
  if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
      return Failure(Failure::Cause::exists, SystemErrorText(error));
    return SystemFailure(SystemErrorText(error));
  }
  return {};
}

Result<> SystemFiles::Replace(const std::wstring& from, const std::wstring& to) {
  if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return LastError();
  return {};
}

Result<> SystemFiles::Remove(const std::wstring& path) {
  if (!::DeleteFileW(path.c_str())) return LastError();
  return {};
}

Result<std::vector<std::wstring>> SystemFiles::Names(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return LastError();
  const std::unique_ptr<void, decltype(&::FindClose)> closer(search, ::FindClose);
  std::vector<std::wstring> names;
  do {
    names.push_back(found.cFileName);
  } while (::FindNextFileW(search, &found));
  return names;
}

Result<> SystemFiles::Append(const std::wstring& path, std::string_view bytes) {
  // Append access only: each write lands whole at the end, whoever else appends.
  UniqueFile file = OwnFile(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastError();
  DWORD done = 0;
  if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr))
    return LastError();
  if (done != bytes.size()) return Failure(Failure::Cause::shortWrite);
  if (!::FlushFileBuffers(file.get())) return LastError();
  return {};
}
