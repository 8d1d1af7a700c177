#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

// The system functions the window looks up at run time instead of importing:
// the DPI functions that Windows 7 and 8 lack, with their fallbacks; shell32's
// drop functions, loaded on the first drop, and COM's, loaded when assistive
// technology first asks, so that start-up pays for neither.

// The DPI of the monitor a window is on; the system DPI before Windows 10.
UINT DpiOf(HWND window);

// The outer size of a window whose client area is width x height pixels.
SIZE FrameSizeFor(int width, int height, DWORD style, UINT dpi);

// The full paths of the files in a shell drop (WM_DROPFILES), in the order
// given; the drop is finished on return.
std::vector<std::wstring> TakeDroppedFiles(HDROP drop);

// Tells assistive technology that a label acts as a button, what a click on it
// does and its keyboard shortcut, leaving its text alone (dynamic annotation).
// Where the system offers no annotation, the label stays a plain text.
void AnnotateAsButton(HWND label, const wchar_t* action, const wchar_t* shortcut);
