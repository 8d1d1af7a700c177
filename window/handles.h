#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

// Owners for the handles the window layer opens, so that no path can skip
// a close.

struct GdiDeleter {
  void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiDeleter>;

struct LibraryFreer {
  void operator()(HMODULE module) const { ::FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

// A window's device context, released on scope exit.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~WindowDC() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  operator HDC() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A font selected into a DC, put back on scope exit.
class SelectFont {
 public:
  SelectFont(HDC dc, HFONT font) : dc_(dc), previous_(::SelectObject(dc, font)) {}
  ~SelectFont() { ::SelectObject(dc_, previous_); }
  SelectFont(const SelectFont&) = delete;
  SelectFont& operator=(const SelectFont&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};
