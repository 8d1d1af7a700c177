#pragma once

#include <functional>

#include "cli/exit_codes.h"
#include "cli/tool.h"

namespace CLI {
class App;
}

// The tool's commands. Each command's file declares the command on the
// tool's app with its options, and, when it is the one called, sets work:
// what runs once the command line is parsed. Only these files know their
// options; tool.cpp parses and dispatches.
using Work = std::function<Outcome(const ToolContext& tool)>;

void AddShow(CLI::App& app, Work& work);   // show.cpp
void AddCheck(CLI::App& app, Work& work);  // show.cpp
void AddSet(CLI::App& app, Work& work);
void AddAssign(CLI::App& app, Work& work);
void AddLedger(CLI::App& app, Work& work);              // ledger.cpp: the ledger command, and in it:
void AddLedgerReconcile(CLI::App& ledger, Work& work);  // reconcile.cpp
void AddLedgerFind(CLI::App& ledger, Work& work);       // find.cpp
void AddLedgerExport(CLI::App& ledger, Work& work);     // export.cpp
void AddLedgerReport(CLI::App& ledger, Work& work);     // report.cpp
