#pragma once

#include <string>

// True when the file at path, or the one it would be, lies on a network file
// system: NFS, SMB or the like on Linux; a UNC path or a network drive on
// Windows. Locks that SQLite relies on do not hold there.
bool OnNetworkFileSystem(const std::wstring& path);

// The same judgement from a Linux file system's type number (statfs).
bool IsNetworkFileSystemType(unsigned long type);
