#pragma once

#include <optional>
#include <string>

// This machine's name, UTF-8; "unknown" when the system cannot say.
std::string HostName();

// A path made absolute against the current folder, as the system resolves it.
std::wstring AbsolutePath(const std::wstring& path);

// An environment variable's value, UTF-8; nothing when it is not set.
std::optional<std::string> EnvironmentVariable(const char* name);
