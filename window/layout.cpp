#include "window/layout.h"

#include <string>

#include "window/handles.h"

namespace {

// Functions that Windows 7 and 8 lack are looked up at run time.
template <class Function>
Function User32Function(const char* name) {
  FARPROC found = ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

UINT DpiOf(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow) return getDpiForWindow(window);
  WindowDC screen(nullptr);
  return static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSY));
}

SIZE FrameSizeFor(int width, int height, DWORD style, UINT dpi) {
  using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi = User32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  RECT frame{0, 0, width, height};
  if (adjustForDpi) {
    adjustForDpi(&frame, style, FALSE, 0, dpi);
  } else {
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
  }
  return {frame.right - frame.left, frame.bottom - frame.top};
}

void FitLabelToText(HWND label) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(label)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(label, text.data(), static_cast<int>(text.size()))));

  WindowDC dc(label);
  SelectFont font(dc, reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
  RECT extent{};
  // Measured the way the static control draws it.
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);

  RECT at{};
  ::GetWindowRect(label, &at);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(label), reinterpret_cast<POINT*>(&at), 2);
  ::SetWindowPos(label, nullptr, at.left, at.top, extent.right, extent.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(label, nullptr, TRUE);
}
