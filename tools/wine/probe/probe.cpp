// Drives and reads the live Quorvix window from outside, as a user and as
// automation would: real mouse clicks and key presses through SendInput,
// texts and states read back from the controls. It reads one command per
// line on standard input and answers one line on standard output, so a test
// script can keep it running for a whole test.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "window/control_ids.h"

namespace {

HWND g_main = nullptr;
HANDLE g_held = INVALID_HANDLE_VALUE;

std::string Utf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

// Line breaks and tabs travel escaped, so every answer is one line.
std::wstring Escape(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\\')
      out += L"\\\\";
    else if (c == L'\r')
      out += L"\\r";
    else if (c == L'\n')
      out += L"\\n";
    else if (c == L'\t')
      out += L"\\t";
    else
      out += c;
  }
  return out;
}

std::wstring Unescape(const std::wstring& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\\' && i + 1 < text.size()) {
      const wchar_t next = text[++i];
      out += next == L'r' ? L'\r' : next == L'n' ? L'\n' : next == L't' ? L'\t' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

void Answer(const std::wstring& line) {
  std::printf("%s\n", Utf8(line).c_str());
  std::fflush(stdout);
}

// WM_GETTEXT, not GetWindowText: across processes only the message reads an
// edit control's text.
std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(copied);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

template <class Test>
bool WaitFor(int milliseconds, Test test, int step = 20) {
  for (int waited = 0;; waited += step) {
    if (test()) return true;
    if (waited >= milliseconds) return false;
    ::Sleep(static_cast<DWORD>(step));
  }
}

struct DialogSearch {
  DWORD process;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<DialogSearch*>(data);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process == search->process && ::IsWindowVisible(window) && ClassOf(window) == L"#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The visible dialog box (message box or input box) of the program, if any.
HWND FindDialog() {
  DialogSearch search{0, nullptr};
  ::GetWindowThreadProcessId(g_main, &search.process);
  ::EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

POINT CentreOf(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Each button event carries its own position: on a loaded machine a late
// pointer motion from the X server can move the cursor back between a
// SetCursorPos and the press, and the click would land where the last one did.
void SendMouseAt(POINT at, DWORD button) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = ::MulDiv(at.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = ::MulDiv(at.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | button;
  ::SendInput(1, &input, sizeof input);
}

void ClickAt(POINT at) {
  ::SetCursorPos(at.x, at.y);
  ::Sleep(30);
  SendMouseAt(at, MOUSEEVENTF_LEFTDOWN);
  SendMouseAt(at, MOUSEEVENTF_LEFTUP);
}

void SendKey(WORD key, WORD scan, DWORD flags) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = scan;
  input.ki.dwFlags = flags;
  ::SendInput(1, &input, sizeof input);
}

std::wstring RectText(const RECT& r) {
  return std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right) + L" " +
         std::to_wstring(r.bottom);
}

// The control's rectangle in the main window's client coordinates.
RECT ClientRectOf(HWND control) {
  RECT r{};
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(HWND_DESKTOP, g_main, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::wstring DialogSummary(HWND dialog) {
  std::wstring texts;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) != L"Static") continue;
    const std::wstring text = TextOf(child);
    if (text.empty()) continue;
    if (!texts.empty()) texts += L"\n";
    texts += text;
  }
  std::wstring buttons;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) != L"Button") continue;
    if (!buttons.empty()) buttons += L",";
    buttons += std::to_wstring(::GetDlgCtrlID(child));
  }
  return Escape(TextOf(dialog)) + L"\t" + Escape(texts) + L"\t" + buttons;
}

std::wstring Run(const std::wstring& command, const std::wstring& argument) {
  const int number = argument.empty() ? 0 : _wtoi(argument.c_str());
  if (command == L"ready") return L"ok";
  if (command == L"wait-main") {
    const bool found = WaitFor(number, [] {
      g_main = ::FindWindowW(QUORVIX_WINDOW_CLASS, nullptr);
      return g_main && ::IsWindowVisible(g_main);
    });
    return found ? L"ok" : L"timeout";
  }
  if (command == L"hold") {
    g_held = ::CreateFileW(Unescape(argument).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return g_held == INVALID_HANDLE_VALUE ? L"error " + std::to_wstring(::GetLastError()) : L"ok";
  }
  if (command == L"release") {
    ::CloseHandle(g_held);
    g_held = INVALID_HANDLE_VALUE;
    return L"ok";
  }
  if (command == L"wait-shown") {  // CLASS ID TEXT TIMEOUT, for the benchmark
    // Shown means on screen: the window is visible with the text, and its
    // program has gone idle, so the text is painted too.
    const std::wstring rest = Unescape(argument);
    const std::size_t a = rest.find(L' '), b = rest.find(L' ', a + 1), c = rest.rfind(L' ');
    const std::wstring windowClass = rest.substr(0, a), text = rest.substr(b + 1, c - b - 1);
    const int id = _wtoi(rest.substr(a + 1, b - a - 1).c_str()), timeout = _wtoi(rest.substr(c + 1).c_str());
    HWND window = nullptr;
    const bool shown = WaitFor(
        timeout,
        [&] {
          window = ::FindWindowW(windowClass.c_str(), nullptr);
          return window && ::IsWindowVisible(window) && TextOf(::GetDlgItem(window, id)) == text;
        },
        2);
    if (!shown) return L"timeout";
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    HANDLE handle = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, process);
    if (!handle) return L"error " + std::to_wstring(::GetLastError());
    const DWORD idle = ::WaitForInputIdle(handle, static_cast<DWORD>(timeout));
    ::CloseHandle(handle);
    return idle == 0 ? L"ok" : L"timeout";
  }
  if (!g_main) return L"error no main window";
  if (command == L"caption") return L"ok " + Escape(TextOf(g_main));
  if (command == L"text") return L"ok " + Escape(TextOf(::GetDlgItem(g_main, number)));
  if (command == L"enabled") return ::IsWindowEnabled(::GetDlgItem(g_main, number)) ? L"ok 1" : L"ok 0";
  if (command == L"rect") return L"ok " + RectText(ClientRectOf(::GetDlgItem(g_main, number)));
  if (command == L"client") {
    RECT r{};
    ::GetClientRect(g_main, &r);
    return L"ok " + RectText(r);
  }
  if (command == L"window-rect") {
    RECT r{};
    ::GetWindowRect(g_main, &r);
    return L"ok " + RectText(r);
  }
  if (command == L"focus") {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(g_main, nullptr), &info);
    return L"ok " + std::to_wstring(info.hwndFocus ? ::GetDlgCtrlID(info.hwndFocus) : 0);
  }
  if (command == L"click") {  // ID: waits until the control takes clicks, as a user would
    HWND control = ::GetDlgItem(g_main, number);
    const POINT centre = CentreOf(control);
    // A box that has just closed may still cover the control, or its window
    // be disabled, for a moment after the box is hidden.
    if (!WaitFor(10000, [&] { return ::IsWindowEnabled(g_main) && ::WindowFromPoint(centre) == control; }))
      return L"error control " + std::to_wstring(number) + L" is covered or disabled";
    ClickAt(centre);
    return L"ok";
  }
  if (command == L"click-close") {  // [dialog]: the close box on the caption of the window, or of its box
    HWND target = argument == L"dialog" ? FindDialog() : g_main;
    if (!target) return L"none";
    RECT r{};
    ::GetWindowRect(target, &r);
    const int frame = ::GetSystemMetrics(SM_CXFIXEDFRAME) + ::GetSystemMetrics(SM_CXBORDER);
    ClickAt({r.right - frame - ::GetSystemMetrics(SM_CXSIZE) / 2,
             r.top + ::GetSystemMetrics(SM_CYFIXEDFRAME) + ::GetSystemMetrics(SM_CYCAPTION) / 2});
    return L"ok";
  }
  if (command == L"dialog") {
    HWND dialog = nullptr;
    if (!WaitFor(number, [&] { return (dialog = FindDialog()) != nullptr; })) return L"none";
    ::Sleep(50);  // let it finish drawing and take the focus
    return L"ok " + DialogSummary(dialog);
  }
  if (command == L"dialog-rect") {
    HWND dialog = FindDialog();
    RECT r{};
    if (dialog) ::GetWindowRect(dialog, &r);
    return dialog ? L"ok " + RectText(r) : L"none";
  }
  if (command == L"dialog-edit") {
    HWND dialog = FindDialog();
    HWND edit = dialog ? ::FindWindowExW(dialog, nullptr, L"Edit", nullptr) : nullptr;
    return edit ? L"ok " + Escape(TextOf(edit)) : L"none";
  }
  if (command == L"press") {  // ID [TIMEOUT]: waits until the box is gone
    HWND dialog = FindDialog();
    HWND button = dialog ? ::GetDlgItem(dialog, number) : nullptr;
    if (!button) return L"none";
    const std::size_t space = argument.find(L' ');
    const int timeout = space == std::wstring::npos ? 10000 : _wtoi(argument.c_str() + space + 1);
    ClickAt(CentreOf(button));
    const bool closed = WaitFor(timeout, [&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); });
    return closed ? L"ok" : L"timeout";
  }
  if (command == L"type") {
    for (wchar_t c : Unescape(argument)) {
      SendKey(0, c, KEYEVENTF_UNICODE);
      SendKey(0, c, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP);
    }
    return L"ok";
  }
  if (command == L"close-main") {  // as a task manager's "close window" does
    ::PostMessageW(g_main, WM_CLOSE, 0, 0);
    return L"ok";
  }
  if (command == L"alt-key") {
    SendKey(VK_MENU, 0, 0);
    SendKey(static_cast<WORD>(number), 0, 0);
    SendKey(static_cast<WORD>(number), 0, KEYEVENTF_KEYUP);
    SendKey(VK_MENU, 0, KEYEVENTF_KEYUP);
    return L"ok";
  }
  if (command == L"key") {
    SendKey(static_cast<WORD>(number), 0, 0);
    SendKey(static_cast<WORD>(number), 0, KEYEVENTF_KEYUP);
    return L"ok";
  }
  return L"error unknown command";
}

}  // namespace

int main() {
  char line[8192];
  while (std::fgets(line, sizeof line, stdin)) {
    std::wstring text = Wide(line);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    const std::size_t space = text.find(L' ');
    const std::wstring command = text.substr(0, space);
    const std::wstring argument = space == std::wstring::npos ? L"" : text.substr(space + 1);
    if (command == L"quit") break;
    Answer(Run(command, argument));
  }
  return 0;
}
