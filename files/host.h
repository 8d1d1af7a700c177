#pragma once

#include <optional>
#include <string>

// This machine's name, UTF-8; "unknown" when the system cannot say.
std::string HostName();

// This machine's own id, which a copied disk image keeps but another
// installation does not: /etc/machine-id, Windows' MachineGuid; the host
// name where the system has none.
std::string MachineId();

// A path made absolute against the current folder, as the system resolves it.
std::wstring AbsolutePath(const std::wstring& path);

// An environment variable's value, UTF-8; nothing when it is not set.
std::optional<std::string> EnvironmentVariable(const char* name);
