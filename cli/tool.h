#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "vendor/files.h"

// What the tool works on: files through files (where a test may inject
// faults), results on out and messages on err.
struct ToolContext {
  Files& files;
  std::FILE* out;
  std::FILE* err;
};

// Runs the tool on its arguments, UTF-8, the program's name first; gives the
// exit code (exit_codes.h).
int RunTool(const std::vector<std::string>& args, const ToolContext& tool);
