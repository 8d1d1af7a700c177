#include <windows.h>

#include "files/host.h"
#include "files/network_folder.h"

bool IsNetworkFileSystemType(unsigned long) { return false; }

bool OnNetworkFileSystem(const std::wstring& given) {
  const std::wstring path = AbsolutePath(given);
  // \\server\share\... and \\?\UNC\server\share\...; \\?\C:\... is a drive.
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return true;
  if (path.rfind(L"\\\\", 0) == 0 && path.rfind(L"\\\\?\\", 0) != 0 && path.rfind(L"\\\\.\\", 0) != 0)
    return true;
  const std::size_t start = path.rfind(L"\\\\?\\", 0) == 0 ? 4 : 0;
  if (path.size() < start + 2 || path[start + 1] != L':') return false;
  const std::wstring root = path.substr(start, 2) + L"\\";
  return ::GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}
