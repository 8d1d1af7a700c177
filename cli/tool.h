#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "files/system_files.h"

// Exit codes, as scripts rely on them. When both apply, trouble wins.
enum Exit : int {
  kExitOk = 0,
  kExitFindings = 1,  // check: a file's stored checks are stale; set: the write failed
  kExitTrouble = 2,   // usage, a refused value, a file that is no vendor file or cannot be read
};

// What the tool works on: vendor files through files (where a test may
// inject faults), backups and logs on the system, results on out and
// messages on err.
struct ToolContext {
  Files& files;
  SystemFiles& system;
  std::FILE* out;
  std::FILE* err;
};

// Runs the tool on its arguments, UTF-8, the program's name first; gives the
// exit code.
int RunTool(const std::vector<std::string>& args, const ToolContext& context);
