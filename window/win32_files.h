#pragma once

#include <string>

#include "window/main_view.h"

// The file side of the window's operations, on Win32 files.

bool NormalFileExists(const std::wstring& path);
Length FileLengthOf(const std::wstring& path);
Opened OpenFileFor(const std::wstring& path, Access access);
