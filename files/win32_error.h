#pragma once

#include <windows.h>

#include <string>

// The system's own description of an error code, in the user's language,
// without a trailing line break.
std::wstring SystemErrorText(DWORD code);
