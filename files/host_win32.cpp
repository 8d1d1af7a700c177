#include <windows.h>

#include <cstdlib>
#include <memory>
#include <type_traits>

#include "files/host.h"
#include "files/utf8.h"

std::string HostName() {
  wchar_t name[256] = {};
  DWORD size = 256;
  if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size) || size == 0) return "unknown";
  return Utf8(std::wstring(name, size));
}

std::string MachineId() {
  HKEY opened = nullptr;
  // The 64-bit view also from a 32-bit program, which would otherwise read
  // a copy of its own that has no MachineGuid.
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS)
    return HostName();
  const std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&::RegCloseKey)> key(opened, &::RegCloseKey);
  wchar_t id[64] = {};
  DWORD size = sizeof id;
  if (::RegGetValueW(key.get(), nullptr, L"MachineGuid", RRF_RT_REG_SZ, nullptr, id, &size) !=
          ERROR_SUCCESS ||
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
