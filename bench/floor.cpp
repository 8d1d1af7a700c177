// The floor for the start-up benchmark: the least a Win32 program can do to
// show a window with one line of text. Quorvix is measured against it.
#include <windows.h>

namespace {

LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = FloorProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = L"QuorvixFloor";
  ::RegisterClassW(&windowClass);
  HWND window = ::CreateWindowW(L"QuorvixFloor", L"Floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                380, 170, nullptr, nullptr, instance, nullptr);
  ::CreateWindowW(L"STATIC", L"MAC:001132ABCDEF  效验:AA", WS_CHILD | WS_VISIBLE, 20, 20, 330, 26, window,
                  reinterpret_cast<HMENU>(101), instance, nullptr);
  ::ShowWindow(window, showCommand);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  return 0;
}
