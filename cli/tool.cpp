#include "cli/tool.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sstream>

#include "cli/commands.h"
#include "cli/messages.h"
#include "version.h"

namespace {

constexpr const char* kLedgerHelp =
    "An SQLite file (one station), or a PostgreSQL server: "
    "postgresql://[user[:password]@]host[:port]/database[?sslmode=...]";

// Every command's options, filled by the parser.
struct Given {
  ShowOptions show, check;
  SetOptions set;
  AssignOptions assign;
  LedgerOptions init, extend, status, list, reconcile;
};

// --help-all: every command in full ("ledger init"), each with its
// arguments and options. The man page is made from it, so its layout is
// what help2man reads: a heading line ending in a colon, then indented lines.
class EveryCommand : public CLI::Formatter {
 public:
  std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override {
    if (mode != CLI::AppFormatMode::All) return Formatter::make_subcommands(app, mode);
    std::stringstream out;
    out << "\nCommands:\n\n";
    Describe(out, app, "");
    return out.str();
  }

 private:
  void Describe(std::stringstream& out, const CLI::App* app, const std::string& prefix) const {
    for (const CLI::App* command : app->get_subcommands({})) {
      const std::string name = prefix + command->get_name();
      if (!command->get_subcommands({}).empty()) {
        Describe(out, command, name + " ");
        continue;
      }
      out << "quorvix-cli " << name << ":\n    " << command->get_description() << "\n";
      for (const CLI::Option* option : command->get_options()) {
        if (option->get_name() == "--help" || option->get_name() == "--help-all") continue;
        CLI::detail::format_help(
            out, make_option_name(option, option->get_positional()) + make_option_opts(option),
            make_option_desc(option), column_width_);
      }
      out << "\n";
    }
  }
};

CLI::App* AddShow(CLI::App& app, const char* name, const char* description, ShowOptions& options) {
  CLI::App* command = app.add_subcommand(name, description);
  command->add_flag("--json", options.json, "One JSON object per file and line (JSON Lines)");
  command->add_option("FILE", options.paths, "Vendor files")->required();
  return command;
}

CLI::App* AddSet(CLI::App& app, SetOptions& options) {
  CLI::App* set = app.add_subcommand("set", "Write a new MAC and/or SN, with their checks, into one file");
  set->add_option("FILE", options.path, "The vendor file")->required();
  set->add_option("--mac", options.mac, "12 hex digits; colons and spaces are ignored");
  set->add_option("--sn", options.sn, "13 letters or digits; colons and spaces are ignored");
  set->add_flag("--dry-run", options.dryRun, "Check the values and print what would change; write nothing");
  set->add_flag("--backup", options.backup, "First copy the file to FILE.bak (or .bak.1, .bak.2, ...)");
  set->add_option("--log", options.log, "Append one JSON line about this call")->type_name("LOGFILE");
  set->add_flag("--strict", options.strict, "Refuse a multicast, all-zero or all-FF MAC instead of warning");
  return set;
}

CLI::App* AddAssign(CLI::App& app, AssignOptions& options) {
  CLI::App* assign =
      app.add_subcommand("assign", "Write the next MAC and SN from a ledger into one file, and record it");
  assign->add_option("FILE", options.path, "The vendor file")->required();
  assign->add_option("--ledger", options.ledger, kLedgerHelp)->required()->type_name("LEDGER");
  assign->add_option("--station", options.station, "This station's name in the ledger (the host name)")
      ->type_name("NAME");
  assign->add_flag("--reassign", options.reassign, "Give new values to a file whose values a unit has");
  assign->add_flag("--backup", options.backup, "First copy the file to FILE.bak (or .bak.1, .bak.2, ...)");
  assign->add_option("--log", options.log, "Append one JSON line about this call")->type_name("LOGFILE");
  assign->add_flag("--json", options.json, "Print the unit as one JSON object");
  return assign;
}

CLI::App* AddLedgerCommand(CLI::App& ledger, const char* name, const char* description,
                           LedgerOptions& options) {
  CLI::App* command = ledger.add_subcommand(name, description);
  command->add_option("LEDGER", options.where, kLedgerHelp)->required();
  return command;
}

void AddRanges(CLI::App* command, LedgerOptions& options, bool required) {
  CLI::Option* macs = command->add_option("--mac-range", options.macRange,
                                          "FIRST-LAST, two MACs (colons and spaces ignored)");
  CLI::Option* sns = command->add_option("--sn-range", options.snRange,
                                         "FIRST-LAST, two SNs that differ in trailing digits");
  if (required) {
    macs->required();
    sns->required();
  }
}

}  // namespace

int RunTool(const std::vector<std::string>& args, const ToolContext& tool) {
  CLI::App app{
      "Reads and writes the MAC address and serial number (SN) of device vendor files\n"
      "(vendor.bin, exactly 65,536 bytes), with the check values the devices expect.",
      "quorvix-cli"};
  app.set_version_flag("--version", std::string("quorvix-cli ") + QUORVIX_VERSION_SHORT);
  app.set_help_all_flag("--help-all", "Print this help with every command's options, and exit");
  app.formatter(std::make_shared<EveryCommand>());
  app.require_subcommand(1, 1);
  app.footer("\n" + ExitCodesText());

  // The commands and what runs each; a new command is a file of its own and
  // its lines here.
  Given given;
  std::vector<std::pair<CLI::App*, std::function<Outcome()>>> commands;
  commands.emplace_back(AddShow(app, "show", "Print each file's MAC, SN and their stored checks", given.show),
                        [&] { return RunShow(tool, given.show, false); });
  commands.emplace_back(
      AddShow(app, "check", "The same reading; the exit code says whether the checks match", given.check),
      [&] { return RunShow(tool, given.check, true); });
  commands.emplace_back(AddSet(app, given.set), [&] { return RunSet(tool, given.set); });
  commands.emplace_back(AddAssign(app, given.assign), [&] { return RunAssign(tool, given.assign); });

  CLI::App* ledger = app.add_subcommand("ledger", "The ledger that assign hands MACs and SNs out from");
  ledger->require_subcommand(1, 1);
  CLI::App* init = AddLedgerCommand(*ledger, "init", "Make a new ledger with its first ranges", given.init);
  AddRanges(init, given.init, true);
  commands.emplace_back(init, [&] { return RunLedgerInit(tool, given.init); });
  CLI::App* extend =
      AddLedgerCommand(*ledger, "extend", "Add a MAC range, an SN range or both", given.extend);
  AddRanges(extend, given.extend, false);
  commands.emplace_back(extend, [&] { return RunLedgerExtend(tool, given.extend); });
  CLI::App* status = AddLedgerCommand(
      *ledger, "status", "Per range what was handed out and what is left; units per state", given.status);
  status->add_flag("--json", given.status.json, "One JSON object");
  commands.emplace_back(status, [&] { return RunLedgerStatus(tool, given.status); });
  CLI::App* list = AddLedgerCommand(*ledger, "list", "One unit per line, oldest first", given.list);
  list->add_flag("--json", given.list.json, "One JSON object per unit and line (JSON Lines)");
  list->add_option("--state", given.list.state, "Only units in this state")
      ->check(CLI::IsMember({"reserved", "written", "failed"}));
  commands.emplace_back(list, [&] { return RunLedgerList(tool, given.list); });
  CLI::App* reconcile = AddLedgerCommand(*ledger, "reconcile",
                                         "Settle reserved units by what their files hold", given.reconcile);
  reconcile->add_flag("--json", given.reconcile.json,
                      "One JSON object per reserved unit and line (JSON Lines)");
  commands.emplace_back(reconcile, [&] { return RunLedgerReconcile(tool, given.reconcile); });

  std::vector<std::string> owned = args;
  std::vector<char*> argv;
  for (std::string& arg : owned) argv.push_back(arg.data());
  Outcome outcome;
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
    for (const auto& [command, run] : commands) {
      if (command->parsed()) outcome = run();
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
