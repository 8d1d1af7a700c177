#pragma once

#include <windows.h>

#include <string>

// A modal box owned by owner and centred over it, asking for one line of
// text. Gives the text typed, or empty text on Cancel, Escape or close.
std::wstring AskInInputBox(HWND owner, const std::wstring& prompt, const std::wstring& title,
                           const std::wstring& defaultText);
