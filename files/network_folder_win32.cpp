#include <windows.h>

#include <memory>

#include "files/host.h"
#include "files/network_folder.h"

namespace {

// \\server\share\... and \\?\UNC\server\share\...; \\?\C:\... is a drive.
bool IsRemote(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return true;
  if (path.rfind(L"\\\\", 0) == 0 && path.rfind(L"\\\\?\\", 0) != 0 && path.rfind(L"\\\\.\\", 0) != 0)
    return true;
  const std::size_t start = path.rfind(L"\\\\?\\", 0) == 0 ? 4 : 0;
  if (path.size() < start + 2 || path[start + 1] != L':') return false;
  const std::wstring root = path.substr(start, 2) + L"\\";
  return ::GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}

// Where the folder really is, links and junctions followed; the path as
// given when it cannot be opened.
std::wstring FinalPath(const std::wstring& folder) {
  const HANDLE opened =
      ::CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return folder;
  const std::unique_ptr<void, decltype(&::CloseHandle)> closer(opened, ::CloseHandle);
  std::wstring final(MAX_PATH, L'\0');
  DWORD size = ::GetFinalPathNameByHandleW(opened, final.data(), static_cast<DWORD>(final.size()), 0);
  if (size >= final.size()) {
    final.resize(size);
    size = ::GetFinalPathNameByHandleW(opened, final.data(), static_cast<DWORD>(final.size()), 0);
  }
  if (size == 0 || size >= final.size()) return folder;
  final.resize(size);
  return final;
}

}  // namespace

bool IsNetworkFileSystemType(unsigned long) { return false; }

bool OnNetworkFileSystem(const std::wstring& given) {
  const std::wstring path = AbsolutePath(given);
  if (IsRemote(path)) return true;
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator != std::wstring::npos && IsRemote(FinalPath(path.substr(0, separator + 1)));
}
