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

std::string MachineId() {
  wchar_t id[64] = {};
  DWORD size = sizeof id;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid",
                     RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, id, &size) != ERROR_SUCCESS ||
      id[0] == L'\0')
    return HostName();
  return Utf8(id);
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
