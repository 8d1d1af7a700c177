#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

// The system functions the window looks up at run time instead of importing:
// the DPI functions that Windows 7 and 8 lack, with their fallbacks, and
// shell32's drop functions, loaded on the first drop so that start-up does not
// pay for shell32.

// The DPI of the monitor a window is on; the system DPI before Windows 10.
UINT DpiOf(HWND window);

// The outer size of a window whose client area is width x height pixels.
SIZE FrameSizeFor(int width, int height, DWORD style, UINT dpi);

// The full paths of the files in a shell drop (WM_DROPFILES), in the order
// given; the drop is finished on return.
std::vector<std::wstring> TakeDroppedFiles(HDROP drop);
