#pragma once

#include <string>

#include "vendor/files.h"

// Copies the vendor file at path, open as source, beside it as path.bak, or
// path.bak.1, .2, ... when that name is taken; never over another file. The
// copy is written under a hidden temporary name, flushed, and only then given
// its name, so a backup under its name is always whole. A temporary copy a
// killed run left beside the file is removed first. Gives the backup's path.
Result<std::wstring> Backup(Files& files, ByteFile& source, const std::wstring& path);

// The hidden name a backup of the file named name is written under, with its
// random part; and whether a name is one of those.
std::wstring TemporaryBackupName(const std::wstring& name, std::uint32_t random);
bool IsTemporaryBackupName(const std::wstring& candidate, const std::wstring& name);
