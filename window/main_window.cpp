#include "window/main_window.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "files/win32_error.h"
#include "vendor/handlers/entry_clicks.h"
#include "vendor/handlers/loading.h"
#include "vendor/handlers/writer.h"
#include "version.h"
#include "window/control_ids.h"
#include "window/geometry.h"
#include "window/input_box.h"
#include "window/runtime_functions.h"
#include "window/window_text.h"

namespace {

constexpr wchar_t kCaption[] = L"Quorvix_V" QUORVIX_VERSION_SHORT_W;
// Message boxes without a title of their own carry the application's.
constexpr wchar_t kApplicationTitle[] = L"Quorvix";
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
  std::optional<Label> line;     // the text line it shows, for the labels
  const wchar_t* shortcut;       // its accelerator (quorvix.rc), for the clickable labels
  const wchar_t* action;         // what a click does, for assistive technology
};

// In tab order. Labels take no focus; only the buttons are tab stops.
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX | SS_LEFTNOWORDWRAP;
const ControlDesign kControls[] = {
    {IDC_MAC, L"STATIC", L"MAC", kLabel | SS_NOTIFY, Font::field, 300, 300, 705, 375, Label::MAC, L"Alt+M",
     L"单击修改MAC"},
    {IDC_SN, L"STATIC", L"SN", kLabel | SS_NOTIFY, Font::field, 300, 825, 435, 375, Label::SN, L"Alt+S",
     L"单击修改SN"},
    {IDC_UPDATE, L"BUTTON", L"更新", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, Font::window, 3000, 1500, 1140,
     360, std::nullopt, nullptr, nullptr},
    {IDC_EXIT, L"BUTTON", L"退出", BS_PUSHBUTTON | WS_TABSTOP, Font::window, 4275, 1500, 990, 360,
     std::nullopt, nullptr, nullptr},
    {IDC_HINT, L"STATIC", L"将要修改的文件托进来", kLabel, Font::window, 1050, 1575, 1800, 195, Label::lbl,
     nullptr, nullptr},
};

const ControlDesign& DesignOf(Label line) {
  return *std::find_if(std::begin(kControls), std::end(kControls),
                       [line](const ControlDesign& design) { return design.line == line; });
}

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

Failure LastError() { return SystemFailure(SystemErrorText(::GetLastError())); }

RECT RectIn(HWND parent, HWND child) {
  RECT r{};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

Result<> Main::Create(HINSTANCE instance) {
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
  if (!::RegisterClassExW(&windowClass)) return LastError();

  // WS_EX_ACCEPTFILES is all DragAcceptFiles would do, without loading shell32.
  if (!::CreateWindowExW(WS_EX_ACCEPTFILES, QUORVIX_WINDOW_CLASS, kCaption, kFrameStyle, CW_USEDEFAULT,
                         CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, this)) {
    return LastError();
  }
  if (Result<> created = CreateControls(); !created) return created;
  accelerators_ = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_MAIN));
  ApplyDpi(DpiOf(window_));

  RECT client{};
  ::GetClientRect(window_, &client);
  const SIZE frame = FrameSizeFor(client.right, client.bottom, kFrameStyle, dpi_);
  const RECT work = WorkAreaOf(window_);
  ::SetWindowPos(window_, nullptr, (work.left + work.right - frame.cx) / 2,
                 (work.top + work.bottom - frame.cy) / 2, frame.cx, frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);

  // Drops from a normal Explorer also reach the window when it runs elevated.
  ::ChangeWindowMessageFilterEx(window_, WM_DROPFILES, MSGFLT_ALLOW, nullptr);
  ::ChangeWindowMessageFilterEx(window_, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
  ::ChangeWindowMessageFilterEx(window_, 0x0049 /* WM_COPYGLOBALDATA */, MSGFLT_ALLOW, nullptr);
  return {};
}

// No UpdateWindow: the start-up load, posted on activation, runs before the
// first paint, so the window is painted once, with the file's fields.
void Main::Show(int showCommand) { ::ShowWindow(window_, showCommand); }

int Main::Run() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (::TranslateAcceleratorW(window_, accelerators_, &message)) continue;  // Alt+M, Alt+S
    if (::IsDialogMessageW(window_, &message)) continue;                      // Tab between the buttons
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

void Main::SetLine(Label label, const std::wstring& text) {
  if (closed_) return;
  HWND line = ::GetDlgItem(window_, DesignOf(label).id);
  ::SetWindowTextW(line, text.c_str());
  FitLine(line);
}

void Main::SetUpdateEnabled(bool enabled) {
  if (closed_) return;
  HWND update = ::GetDlgItem(window_, IDC_UPDATE);
  // A disabled button with the focus would leave the keyboard stranded.
  if (!enabled && ::GetFocus() == update) ::SetFocus(::GetDlgItem(window_, IDC_EXIT));
  ::EnableWindow(update, enabled);
}

// A box whose owner is destroyed (the window closed while it was open) gives
// 0; on a Yes/No box Wine also offers Escape and the close box (IDCANCEL):
// none of them is an answer.
BoxAnswer Main::ShowMessage(const std::wstring& text, BoxStyle style, const wchar_t* title) {
  if (closed_) return BoxAnswer::dismissed;
  const int pressed =
      ::MessageBoxW(window_, text.c_str(), title ? title : kApplicationTitle, static_cast<UINT>(style));
  switch (pressed) {
    case IDYES:
      return BoxAnswer::yes;
    case IDNO:
      return BoxAnswer::no;
    case IDOK:
      return BoxAnswer::ok;
    default:
      return BoxAnswer::dismissed;
  }
}

std::wstring Main::AskText(const std::wstring& prompt, const std::wstring& title,
                           const std::wstring& defaultText) {
  if (closed_) return {};
  return AskInInputBox(window_, prompt, title, defaultText);
}

Result<> Main::CreateControls() {
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window_, GWLP_HINSTANCE));
  for (const ControlDesign& design : kControls) {
    if (!::CreateWindowExW(0, design.className, design.text, WS_CHILD | WS_VISIBLE | design.style, 0, 0, 0, 0,
                           window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)), instance,
                           nullptr)) {
      return LastError();
    }
  }
  return {};
}

void Main::ApplyDpi(UINT dpi) {
  dpi_ = dpi;
  windowFont_ = MakeFont(825, FW_NORMAL, dpi);
  fieldFont_ = MakeFont(1575, FW_BOLD, dpi);
  for (const ControlDesign& design : kControls) {
    HWND control = ::GetDlgItem(window_, design.id);
    const HFONT font = design.font == Font::field ? fieldFont_.get() : windowFont_.get();
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::MoveWindow(control, TwipsToPixels(design.left, dpi), TwipsToPixels(design.top, dpi),
                 TwipsToPixels(design.width, dpi), TwipsToPixels(design.height, dpi), TRUE);
  }
  for (const ControlDesign& design : kControls) {
    if (design.line) FitLine(::GetDlgItem(window_, design.id));
  }
}

// A line's label takes the size of its text in its own font, keeping its
// top-left corner, so a longer text grows it to the right and nothing wraps.
// The client area keeps its designed size unless a line outgrows it: then the
// window widens to the right, so no line is ever clipped.
void Main::FitLine(HWND line) {
  const std::wstring text = WindowText(line);
  RECT extent{};
  {
    WindowDC dc(line);
    SelectFont font(dc, reinterpret_cast<HFONT>(::SendMessageW(line, WM_GETFONT, 0, 0)));
    // Measured the way the static control draws it.
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent,
                DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  }
  const RECT at = RectIn(window_, line);
  ::SetWindowPos(line, nullptr, at.left, at.top, extent.right, extent.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(line, nullptr, TRUE);

  int width = TwipsToPixels(kClientWidthTwips, dpi_);
  for (const ControlDesign& design : kControls) {
    if (!design.line) continue;
    const RECT placed = RectIn(window_, ::GetDlgItem(window_, design.id));
    width = std::max(width, static_cast<int>(placed.right) + TwipsToPixels(kLineMarginTwips, dpi_));
  }
  const int height = TwipsToPixels(kClientHeightTwips, dpi_);
  RECT client{};
  ::GetClientRect(window_, &client);
  if (client.right == width && client.bottom == height) return;
  const SIZE frame = FrameSizeFor(width, height, kFrameStyle, dpi_);
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
  // Labels and buttons tell of a click with the same code (STN_CLICKED,
  // BN_CLICKED); an accelerator with 1.
  if (code != BN_CLICKED && code != 1) return;
  switch (id) {
    case IDC_MAC:
      return Handle([&] { MAC_Click(*this, state_); });
    case IDC_SN:
      return Handle([&] { SN_Click(*this, state_); });
    case IDC_UPDATE:
      return Handle([&] { Command1_Click(*this, platform_, state_); });
    case IDC_EXIT:
      ::DestroyWindow(window_);
      return;
  }
}

void Main::OnDropFiles(HDROP drop) {
  const std::vector<std::wstring> files = TakeDroppedFiles(drop);
  Handle([&] { Form_OLEDragDrop(*this, platform_, state_, files); });
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
    case kStartupLoad:
      Handle([&] { Form_Activate(*this, platform_, state_); });
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
    case WM_GETOBJECT:
      // Assistive technology is asking: the first time, tell it what the lines do.
      if (!annotated_) {
        annotated_ = true;
        for (const ControlDesign& design : kControls) {
          if (design.shortcut)
            AnnotateAsButton(::GetDlgItem(window_, design.id), design.action, design.shortcut);
        }
      }
      break;
    case WM_DESTROY:
      // Closing ends the program like Exit, also while a handler's box is open:
      // the box goes with its owner, and the handler finds no answer.
      closed_ = true;
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcW(window_, message, wParam, lParam);
}
