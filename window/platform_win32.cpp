#include "window/platform_win32.h"

#include <windows.h>

#include "files/win32_error.h"

Result<std::wstring> Win32Platform::ProgramFolder() {
  // Windows paths end at 32,767 characters; a longer answer was cut off.
  constexpr std::size_t kLongestPath = 32768;
  std::wstring folder(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, folder.data(), static_cast<DWORD>(folder.size()));
    if (length == 0) return SystemFailure(SystemErrorText(::GetLastError()));
    if (length < folder.size()) {
      folder.resize(length);
      break;
    }
    if (folder.size() >= kLongestPath) return SystemFailure(SystemErrorText(ERROR_INSUFFICIENT_BUFFER));
    folder.resize(folder.size() * 2);  // a long path: try again with room for it
  }
  const std::size_t separator = folder.find_last_of(L'\\');
  if (separator == std::wstring::npos) return SystemFailure(SystemErrorText(ERROR_BAD_PATHNAME));
  folder.erase(separator + 1);
  if (folder.size() > 1 && folder[folder.size() - 2] != L':') folder.pop_back();
  return folder;
}

std::optional<wchar_t> Win32Platform::ByteToChar(std::uint8_t byte) {
  const char narrow = static_cast<char>(byte);
  wchar_t wide = 0;
  if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &narrow, 1, &wide, 1) != 1) {
    return std::nullopt;
  }
  return wide;
}
