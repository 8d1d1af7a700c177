#pragma once

#include <string>

#include "vendor/files.h"

// Copies the vendor file at path beside it, as path.bak, or path.bak.1, .2,
// ... when that name is taken; never over another file. The copy is written
// under a temporary name, flushed, and only then given its name, so a backup
// under its name is always whole. Gives the backup's path.
Result<std::wstring> Backup(Files& files, const std::wstring& path);
