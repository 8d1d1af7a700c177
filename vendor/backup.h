#pragma once

#include <string>

#include "vendor/files.h"

// Copies the vendor file at path, open as source, beside it as path.bak, or
// path.bak.1, .2, ... when that name is taken; never over another file. The
// copy is written under a hidden temporary name (temporary_file.h), flushed,
// and only then given its name, so a backup under its name is always whole.
// A temporary copy a killed run left beside the file is removed first: the
// caller holds the file for update, so no other run is making one. Gives the
// backup's path.
Result<std::wstring> Backup(Files& files, ByteFile& source, const std::wstring& path);

// Whether a file name is one Backup gives: NAME.bak or NAME.bak.N.
bool IsBackupName(const std::wstring& name);
