#include "cli/tool.h"

#include <cerrno>
#include <cstring>
#include <sstream>

#include "cli/command.h"
#include "cli/messages.h"
#include "version.h"

int RunTool(const std::vector<std::string>& args, const ToolContext& tool) {
  CLI::App app{
      "Reads and writes the MAC address and serial number (SN) of device vendor files\n"
      "(vendor.bin, exactly 65,536 bytes), with the check values the devices expect.",
      "quorvix-cli"};
  app.set_version_flag("--version", std::string("quorvix-cli ") + QUORVIX_VERSION_SHORT);
  app.require_subcommand(1, 1);
  app.footer("\n" + ExitCodesText());

  // A new command is a file of its own and a line here.
  std::vector<std::unique_ptr<Command>> commands;
  for (auto add : {AddShow, AddCheck, AddSet, AddAssign}) commands.push_back(add(app));
  for (std::unique_ptr<Command>& command : AddLedger(app)) commands.push_back(std::move(command));

  std::vector<std::string> owned = args;
  std::vector<char*> argv;
  for (std::string& arg : owned) argv.push_back(arg.data());
  Outcome outcome;
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
    for (const std::unique_ptr<Command>& command : commands) {
      if (command->Chosen()) outcome = command->Run(tool);
    }
  } catch (const CLI::ParseError& error) {
    std::ostringstream out, err;
    outcome.trouble = app.exit(error, out, err) != 0;
    Print(tool.out, out.str());
    Print(tool.err, err.str());
  }
  // Results that never reached standard output (a full disk, a closed pipe)
  // are a failure like any other.
  if (std::fflush(tool.out) != 0 || std::ferror(tool.out)) {
    Say(tool.err, Severity::error, L"", std::string("standard output: ") + std::strerror(errno));
    outcome.trouble = true;
  }
  return ExitCodeOf(outcome);
}
