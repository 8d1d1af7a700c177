#pragma once

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "vendor/edit_state.h"
#include "window/handles.h"
#include "window/win32_view.h"

// The program's one window: the MAC and SN lines, Update, Exit and the hint
// line. It turns the user's clicks and drops into the vendor-data handlers.
class Main {
 public:
  explicit Main(HINSTANCE instance);
  Main(const Main&) = delete;
  Main& operator=(const Main&) = delete;

  void Show(int showCommand);
  // Runs until the window is gone; gives the exit code.
  int Run();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControls();
  void ApplyDpi(UINT dpi);
  void FitClientToLines();
  void OnCommand(int id, int code);
  void OnDropFiles(HDROP drop);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnActivate(bool active);
  LRESULT OnColorStatic(HDC dc, HWND control);
  // Runs one handler; events that arrive while its boxes are open are dropped.
  template <class Handler>
  void Handle(Handler handler);

  HWND window_ = nullptr;
  EditState state_;
  std::unique_ptr<Win32View> view_;
  UniqueFont windowFont_;
  UniqueFont fieldFont_;
  HWND focus_ = nullptr;  // the control that had the focus when the window was left
  bool activated_ = false;
  bool busy_ = false;
};
