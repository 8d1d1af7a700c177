#pragma once

#include <windows.h>

#include "window/main_view.h"

// Sent to the main window after a line changed its text, so the window can
// make room for it.
constexpr UINT kLineChanged = WM_APP + 2;

// The window's operations on the live main window and on Win32.
class Win32View final : public MainView {
 public:
  explicit Win32View(HWND main) : main_(main) {}

  void SetLine(Label label, const std::wstring& text) override;
  void SetUpdateEnabled(bool enabled) override;
  BoxAnswer ShowMessage(const std::wstring& text, BoxStyle style, const std::wstring* title) override;
  std::wstring AskText(const std::wstring& prompt, const std::wstring& title,
                       const std::wstring& defaultText) override;
  std::wstring ProgramFolder() override;
  bool FileExists(const std::wstring& path) override;
  Length FileLength(const std::wstring& path) override;
  Opened Open(const std::wstring& path, Access access) override;
  std::optional<wchar_t> ByteToChar(std::uint8_t byte) override;

 private:
  HWND main_;
};
