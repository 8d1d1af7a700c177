#pragma once

#include <string>

// True when the file at path, or the one it would be, lies on a network file
// system: NFS, SMB, FUSE (sshfs, GVFS), CephFS, Lustre, GPFS or the like on
// Linux; a UNC path, a network drive, or a folder that is a link or junction
// to a share on Windows. Locks that SQLite relies on do not hold there.
bool OnNetworkFileSystem(const std::wstring& path);

// The same judgement from a Linux file system's type number (statfs).
bool IsNetworkFileSystemType(unsigned long type);
