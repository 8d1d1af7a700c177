#pragma once

#include <windows.h>

// Sizes are designed in twips (1/1440 inch) and shown in pixels at the
// window's own DPI.

inline int TwipsToPixels(int twips, UINT dpi) { return ::MulDiv(twips, static_cast<int>(dpi), 1440); }

// The DPI of the monitor a window is on; the system DPI before Windows 10.
UINT DpiOf(HWND window);

// The outer size of a window whose client area is width x height pixels.
SIZE FrameSizeFor(int width, int height, DWORD style, UINT dpi);

// Resizes a label to its text in its own font, keeping its top-left corner,
// so a longer text grows it to the right and nothing wraps or clips.
void FitLabelToText(HWND label);
