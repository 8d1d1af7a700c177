#include "window/main_window.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "vendor/entry.h"
#include "vendor/loading.h"
#include "vendor/writer.h"
#include "window/control_ids.h"
#include "window/dropped_files.h"
#include "window/layout.h"

namespace {

constexpr wchar_t kCaption[] = L"Quorvix_V3.0";
constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kClientWidthTwips = 5430;
constexpr int kClientHeightTwips = 1965;
constexpr int kLineMarginTwips = 300;  // the lines' left margin, kept on the right too
constexpr COLORREF kHintColour = RGB(0x80, 0x80, 0x80);
// Posted on the first activation, so the start-up load runs outside it.
constexpr UINT kStartupLoad = WM_APP + 1;

enum class Font { window, field };

struct ControlDesign {
  int id;
  const wchar_t* className;
  const wchar_t* text;
  DWORD style;
  Font font;
  int left, top, width, height;  // twips
};

// In tab order. Labels take no focus; only the buttons are tab stops.
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX | SS_LEFTNOWORDWRAP;
constexpr ControlDesign kControls[] = {
    {IDC_MAC, L"STATIC", L"MAC", kLabel | SS_NOTIFY, Font::field, 300, 300, 705, 375},
    {IDC_SN, L"STATIC", L"SN", kLabel | SS_NOTIFY, Font::field, 300, 825, 435, 375},
    {IDC_UPDATE, L"BUTTON", L"更新", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, Font::window, 3000, 1500, 1140,
     360},
    {IDC_EXIT, L"BUTTON", L"退出", BS_PUSHBUTTON | WS_TABSTOP, Font::window, 4275, 1500, 990, 360},
    {IDC_HINT, L"STATIC", L"将要修改的文件托进来", kLabel, Font::window, 1050, 1575, 1800, 195},
};

// Tahoma 8.25 pt for the window, 15.75 pt bold for the field lines.
UniqueFont MakeFont(int hundredthsOfPoint, int weight, UINT dpi) {
  LOGFONTW font{};
  font.lfHeight = -::MulDiv(hundredthsOfPoint, static_cast<int>(dpi), 7200);
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  ::lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
  return UniqueFont(::CreateFontIndirectW(&font));
}

}  // namespace

Main::Main(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUORVIX));
  windowClass.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_QUORVIX), IMAGE_ICON,
                                                        ::GetSystemMetrics(SM_CXSMICON),
                                                        ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = QUORVIX_WINDOW_CLASS;
  ::RegisterClassExW(&windowClass);

  // WS_EX_ACCEPTFILES is all DragAcceptFiles would do, without loading shell32.
  ::CreateWindowExW(WS_EX_ACCEPTFILES, QUORVIX_WINDOW_CLASS, kCaption, kFrameStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, this);
  view_ = std::make_unique<Win32View>(window_);
  CreateControls();

  const UINT dpi = DpiOf(window_);
  ApplyDpi(dpi);
  RECT client{};
  ::GetClientRect(window_, &client);
  const SIZE frame = FrameSizeFor(client.right, client.bottom, kFrameStyle, dpi);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  ::SetWindowPos(window_, nullptr, (work.left + work.right - frame.cx) / 2,
                 (work.top + work.bottom - frame.cy) / 2, frame.cx, frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);

  // Drops from a normal Explorer also reach the window when it runs elevated.
  ::ChangeWindowMessageFilterEx(window_, WM_DROPFILES, MSGFLT_ALLOW, nullptr);
  ::ChangeWindowMessageFilterEx(window_, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
  ::ChangeWindowMessageFilterEx(window_, 0x0049 /* WM_COPYGLOBALDATA */, MSGFLT_ALLOW, nullptr);
}

// No UpdateWindow: the start-up load, posted on activation, runs before the
// first paint, so the window is painted once, with the file's fields.
void Main::Show(int showCommand) { ::ShowWindow(window_, showCommand); }

int Main::Run() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (::IsDialogMessageW(window_, &message)) continue;  // Tab between the buttons
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

void Main::CreateControls() {
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window_, GWLP_HINSTANCE));
  for (const ControlDesign& design : kControls) {
    ::CreateWindowExW(0, design.className, design.text, WS_CHILD | WS_VISIBLE | design.style, 0, 0, 0, 0,
                      window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)), instance, nullptr);
  }
}

void Main::ApplyDpi(UINT dpi) {
  windowFont_ = MakeFont(825, FW_NORMAL, dpi);
  fieldFont_ = MakeFont(1575, FW_BOLD, dpi);
  for (const ControlDesign& design : kControls) {
    HWND control = ::GetDlgItem(window_, design.id);
    const HFONT font = design.font == Font::field ? fieldFont_.get() : windowFont_.get();
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::MoveWindow(control, TwipsToPixels(design.left, dpi), TwipsToPixels(design.top, dpi),
                 TwipsToPixels(design.width, dpi), TwipsToPixels(design.height, dpi), TRUE);
    if (std::wstring_view(design.className) == L"STATIC") FitLabelToText(control);
  }
  FitClientToLines();
}

// The client area keeps its designed size unless a line outgrows it: then the
// window widens to the right, so no line is ever clipped.
void Main::FitClientToLines() {
  const UINT dpi = DpiOf(window_);
  int width = TwipsToPixels(kClientWidthTwips, dpi);
  for (int id : {IDC_MAC, IDC_SN, IDC_HINT}) {
    RECT line{};
    ::GetWindowRect(::GetDlgItem(window_, id), &line);
    ::MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&line), 2);
    width = std::max(width, static_cast<int>(line.right) + TwipsToPixels(kLineMarginTwips, dpi));
  }
  const int height = TwipsToPixels(kClientHeightTwips, dpi);
  RECT client{};
  ::GetClientRect(window_, &client);
  if (client.right == width && client.bottom == height) return;
  const SIZE frame = FrameSizeFor(width, height, kFrameStyle, dpi);
  ::SetWindowPos(window_, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

template <class Handler>
void Main::Handle(Handler handler) {
  if (busy_) return;
  busy_ = true;
  handler();
  busy_ = false;
}

void Main::OnCommand(int id, int code) {
  if (id == IDC_MAC && code == STN_CLICKED) return Handle([&] { MAC_Click(*view_, state_); });
  if (id == IDC_SN && code == STN_CLICKED) return Handle([&] { SN_Click(*view_, state_); });
  if (id == IDC_UPDATE && code == BN_CLICKED) return Handle([&] { Command1_Click(*view_, state_); });
  if (id == IDC_EXIT && code == BN_CLICKED) ::DestroyWindow(window_);
}

void Main::OnDropFiles(HDROP drop) {
  const std::vector<std::wstring> files = TakeDroppedFiles(drop);
  Handle([&] { Form_OLEDragDrop(*view_, state_, files); });
}

void Main::OnDpiChanged(UINT dpi, const RECT& suggested) {
  ::SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyDpi(dpi);
}

// Keyboard focus stays with the button that had it when the user comes back
// to the window; at first it goes to the first button that can take it.
void Main::OnActivate(bool active) {
  if (!active) {
    focus_ = ::GetFocus();
    return;
  }
  const bool keep = focus_ && ::IsChild(window_, focus_) && ::IsWindowEnabled(focus_);
  ::SetFocus(keep ? focus_ : ::GetNextDlgTabItem(window_, nullptr, FALSE));
  if (!activated_) {
    activated_ = true;
    ::PostMessageW(window_, kStartupLoad, 0, 0);
  }
}

LRESULT Main::OnColorStatic(HDC dc, HWND control) {
  if (::GetDlgCtrlID(control) == IDC_HINT) ::SetTextColor(dc, kHintColour);
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT CALLBACK Main::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Main*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Main*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  return self ? self->HandleMessage(message, wParam, lParam)
              : ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Main::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case kLineChanged:
      FitClientToLines();
      return 0;
    case kStartupLoad:
      Handle([&] { Form_Activate(*view_, state_); });
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_CTLCOLORSTATIC:
      return OnColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcW(window_, message, wParam, lParam);
}
