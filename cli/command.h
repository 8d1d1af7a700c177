#pragma once

#include <CLI/CLI.hpp>
#include <memory>

#include "cli/exit_codes.h"
#include "cli/tool.h"

// A command of the tool: it adds its subcommand and options to the parser,
// which fills the command's own fields, and runs once it was chosen.
class Command {
 public:
  explicit Command(CLI::App* command) : command_(command) {}
  virtual ~Command() = default;
  bool Chosen() const { return command_->parsed(); }
  virtual Outcome Run(const ToolContext& tool) = 0;

 protected:
  CLI::App* const command_;
};

// One file each (show.cpp, set.cpp, assign.cpp, ledger.cpp); tool.cpp lists them.
std::unique_ptr<Command> AddShow(CLI::App& app);
std::unique_ptr<Command> AddCheck(CLI::App& app);
std::unique_ptr<Command> AddSet(CLI::App& app);
std::unique_ptr<Command> AddAssign(CLI::App& app);
std::vector<std::unique_ptr<Command>> AddLedger(CLI::App& app);
