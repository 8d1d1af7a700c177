#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/tool.h"

// What each command is given, as the parser in tool.cpp fills it, and the
// command's work: one file each (show.cpp, set.cpp, assign.cpp, ledger.cpp).
// Only tool.cpp knows the parser.

struct ShowOptions {
  std::vector<std::string> paths;
  bool json = false;
};
// show, and check when judge is set: the exit code also says whether the
// stored checks match.
Outcome RunShow(const ToolContext& tool, const ShowOptions& options, bool judge);

struct SetOptions {
  std::string path;
  std::optional<std::string> mac, sn, log;
  bool dryRun = false, backup = false, strict = false;
};
Outcome RunSet(const ToolContext& tool, const SetOptions& options);

struct AssignOptions {
  std::string path, ledger;
  std::optional<std::string> station, log;
  bool reassign = false, backup = false, json = false;
};
Outcome RunAssign(const ToolContext& tool, const AssignOptions& options);

struct LedgerOptions {
  std::string where;
  std::optional<std::string> macRange, snRange, state;
  bool json = false;
};
Outcome RunLedgerInit(const ToolContext& tool, const LedgerOptions& options);
Outcome RunLedgerExtend(const ToolContext& tool, const LedgerOptions& options);
Outcome RunLedgerStatus(const ToolContext& tool, const LedgerOptions& options);
Outcome RunLedgerList(const ToolContext& tool, const LedgerOptions& options);
Outcome RunLedgerReconcile(const ToolContext& tool, const LedgerOptions& options);
