#pragma once

#include <string>

// This machine's name, UTF-8; "unknown" when the system cannot say.
std::string HostName();

// A path made absolute against the current folder, as the system resolves it.
std::wstring AbsolutePath(const std::wstring& path);
