#pragma once

#include <windows.h>

// Sizes are designed in twips (1/1440 inch) and shown in pixels at the
// window's own DPI.
inline int TwipsToPixels(int twips, UINT dpi) { return ::MulDiv(twips, static_cast<int>(dpi), 1440); }

// The part of a window's monitor that the taskbar leaves free.
inline RECT WorkAreaOf(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  return monitor.rcWork;
}
