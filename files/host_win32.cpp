#include <windows.h>

#include <cstdlib>

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

std::optional<std::string> EnvironmentVariable(const char* name) {
  const wchar_t* value = ::_wgetenv(Wide(name).c_str());
  if (!value) return std::nullopt;
  return Utf8(value);
}
