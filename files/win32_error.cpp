#include "files/win32_error.h"

#include <memory>

namespace {

struct LocalFreer {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

}  // namespace

std::wstring SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalFreer> owned(buffer);
  std::wstring text(buffer ? buffer : L"", length);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) text = L"系统错误 " + std::to_wstring(code);
  return text;
}
