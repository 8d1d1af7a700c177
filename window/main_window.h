#pragma once

#include <windows.h>
#include <shellapi.h>

#include "vendor/edit_state.h"
#include "vendor/handlers/main_view.h"
#include "window/handles.h"
#include "window/platform_win32.h"

// The program's one window: the MAC and SN lines, Update, Exit and the hint
// line. It turns the user's clicks and drops into the vendor-data handlers,
// and is the view they work on.
class Main final : public MainView {
 public:
  Main() = default;
  Main(const Main&) = delete;
  Main& operator=(const Main&) = delete;

  // Registers the window class and makes the window with its controls, or
  // says why the system would not.
  Result<> Create(HINSTANCE instance);
  void Show(int showCommand);
  // Runs until the window is gone; gives the exit code.
  int Run();

  void SetLine(Label label, const std::wstring& text) override;
  void SetUpdateEnabled(bool enabled) override;
  BoxAnswer ShowMessage(const std::wstring& text, BoxStyle style, const wchar_t* title) override;
  std::wstring AskText(const std::wstring& prompt, const std::wstring& title,
                       const std::wstring& defaultText) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  Result<> CreateControls();
  void ApplyDpi(UINT dpi);
  void FitLine(HWND line);
  void OnCommand(int id, int code);
  void OnDropFiles(HDROP drop);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnActivate(bool active);
  LRESULT OnColorStatic(HDC dc, HWND control);
  // Runs one handler; events that arrive while its boxes are open are dropped.
  template <class Handler>
  void Handle(Handler handler);

  HWND window_ = nullptr;
  HACCEL accelerators_ = nullptr;  // from the resources, which free it
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  EditState state_;
  Win32Platform platform_;
  UniqueFont windowFont_;
  UniqueFont fieldFont_;
  HWND focus_ = nullptr;  // the control that had the focus when the window was left
  bool activated_ = false;
  bool busy_ = false;
  bool closed_ = false;     // the window is gone: no box may open any more
  bool annotated_ = false;  // the lines told assistive technology what they do
};
