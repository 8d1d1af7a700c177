#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>

#include "cli/exit_codes.h"
#include "cli/tool.h"

// The tool's commands, one file each, with its options and its work;
// tool.cpp parses and dispatches. A command's options are declared only
// when it is the one called (or --help-all asks for every one): building
// them is most of what the tool's start would cost.

// What runs once the command line is parsed.
using Work = std::function<Outcome(const ToolContext& tool)>;

struct Command {
  const char* name;
  const char* description;  // as help lists the command
  // Declares the command's options on its subcommand, and sets work when it
  // is the one called.
  void (*declare)(CLI::App& command, Work& work);
};

extern const Command kShow, kCheck;                                                         // show.cpp
extern const Command kSet;                                                                  // set.cpp
extern const Command kAssign;                                                               // assign.cpp
extern const Command kLabel;                                                                // label.cpp
extern const Command kLedgerInit, kLedgerExtend, kLedgerGrant, kLedgerStatus, kLedgerList;  // ledger.cpp
extern const Command kLedgerReconcile, kLedgerFind, kLedgerExport, kLedgerReport;           // a file each
extern const Command kLedgerSync, kLedgerRelease, kLedgerWithdraw;  // lease_commands.cpp

// Makes work run the command on the options given, once it is the one called.
template <class Options>
void RunsWith(CLI::App& command, Work& work, std::shared_ptr<Options> options,
              Outcome (*run)(const ToolContext&, const Options&)) {
  command.callback([&work, options, run] {
    work = [options, run](const ToolContext& tool) { return run(tool, *options); };
  });
}
