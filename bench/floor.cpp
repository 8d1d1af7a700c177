// The yardstick for Quorvix.exe's start-up: the least program that shows the
// same window. The same caption, the same five controls with their texts and
// fonts, the same manifest (visual styles) and icon, and the same 56 bytes
// read from vendor.bin beside it and shown on the two lines; nothing else: no
// checks, no DPI handling beyond the manifest, no handlers.
#include <windows.h>

namespace {

LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

HFONT Tahoma(int hundredthsOfPoint, int weight) {
  return ::CreateFontW(-::MulDiv(hundredthsOfPoint, 96, 7200), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY, 0, L"Tahoma");
}

HWND Control(HWND parent, const wchar_t* kind, const wchar_t* text, DWORD style, int id, int x, int y, int w,
             int h, HFONT font) {
  HWND control = ::CreateWindowW(kind, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = FloorProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = L"QuorvixFloor";
  ::RegisterClassExW(&windowClass);
  HWND window = ::CreateWindowW(L"QuorvixFloor", L"Quorvix_V3.0", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, 368, 160, nullptr, nullptr, instance, nullptr);
  const HFONT field = Tahoma(1575, FW_BOLD), small = Tahoma(825, FW_NORMAL);
  HWND mac = Control(window, L"STATIC", L"MAC", SS_NOTIFY, 101, 20, 20, 330, 25, field);
  HWND sn = Control(window, L"STATIC", L"SN", SS_NOTIFY, 102, 20, 55, 330, 25, field);
  Control(window, L"BUTTON", L"更新", WS_TABSTOP, 103, 200, 100, 76, 24, small);
  Control(window, L"BUTTON", L"退出", WS_TABSTOP, 104, 285, 100, 66, 24, small);
  Control(window, L"STATIC", L"将要修改的文件托进来", 0, 105, 70, 105, 120, 13, small);

  BYTE bytes[56] = {};
  DWORD done = 0;
  HANDLE file =
      ::CreateFileW(L"vendor.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ::ReadFile(file, bytes, sizeof bytes, &done, nullptr);
  ::CloseHandle(file);
  wchar_t line[64];
  ::wsprintfW(line, L"MAC:%02X%02X%02X%02X%02X%02X  效验:%02X", bytes[0], bytes[1], bytes[2], bytes[3],
              bytes[4], bytes[5], bytes[6]);
  ::SetWindowTextW(mac, line);
  ::wsprintfW(line, L"SN:%.13hs CHK:%.3hs", reinterpret_cast<char*>(bytes + 35),
              reinterpret_cast<char*>(bytes + 53));
  ::SetWindowTextW(sn, line);

  ::ShowWindow(window, showCommand);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  return 0;
}
