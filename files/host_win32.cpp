#include <windows.h>

#include "files/host.h"
#include "files/utf8.h"

std::string HostName() {
  wchar_t name[256] = {};
  DWORD size = 256;
  if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size) || size == 0) return "unknown";
  return Utf8(std::wstring(name, size));
}

std::wstring AbsolutePath(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring absolute(size, L'\0');
  absolute.resize(::GetFullPathNameW(path.c_str(), size, absolute.data(), nullptr));
  return absolute;
}
