#include "cli/tool.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <span>
#include <sstream>

#include "cli/commands.h"
#include "cli/messages.h"
#include "version.h"

namespace {

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

const Command* const kCommands[] = {&kShow, &kCheck, &kSet, &kAssign, &kLabel};
const Command* const kLedgerCommands[] = {
    &kLedgerInit, &kLedgerExtend, &kLedgerGrant,  &kLedgerStatus, &kLedgerList,    &kLedgerReconcile,
    &kLedgerFind, &kLedgerExport, &kLedgerReport, &kLedgerSync,   &kLedgerRelease, &kLedgerWithdraw};

// The commands on parent: the one named with its options (every one when
// every is set); the others by their names and descriptions alone, and only
// where help may list them.
void DeclareCommands(CLI::App& parent, std::span<const Command* const> commands, const std::string& called,
                     bool every, bool listed, Work& work) {
  for (const Command* command : commands) {
    const bool full = every || called == command->name;
    if (!full && !listed) continue;
    CLI::App* declared = parent.add_subcommand(command->name, command->description);
    if (full) command->declare(*declared, work);
  }
}

}  // namespace

int RunTool(const std::vector<std::string>& args, const ToolContext& tool) {
  CLI::App app{
      "Reads and writes the MAC address and serial number (SN) of device vendor files\n"
      "(vendor.bin, exactly 65,536 bytes), with the check values the devices expect.",
      "quorvix-cli"};
  // A path that begins with / is a path, on Windows too; set before the
  // commands, which take it from here.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string("quorvix-cli ") + QUORVIX_VERSION_SHORT);
  app.set_help_all_flag("--help-all", "Print this help with every command's options, and exit");
  app.formatter(std::make_shared<EveryCommand>());
  app.require_subcommand(1, 1);
  app.footer("\n" + ExitCodesText());

  // The command called, and for ledger its command: the first two words
  // that are no option. Help lists every command.
  std::vector<std::string> words;
  bool every = false, help = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    every = every || args[i] == "--help-all";
    help = help || every || args[i] == "-h" || args[i] == "--help";
    if (!args[i].empty() && args[i][0] != '-' && words.size() < 2) words.push_back(args[i]);
  }
  words.resize(2);
  Work work;
  DeclareCommands(app, kCommands, words[0], every, help, work);
  if (help || words[0] == "ledger") {
    CLI::App* ledger = app.add_subcommand("ledger", "The ledger that assign hands MACs and SNs out from");
    ledger->require_subcommand(1, 1);
    DeclareCommands(*ledger, kLedgerCommands, words[0] == "ledger" ? words[1] : "", every,
                    help || words[1].empty(), work);
  }

  std::vector<std::string> owned = args;
  std::vector<char*> argv;
  for (std::string& arg : owned) argv.push_back(arg.data());
  Outcome outcome;
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
    if (work) outcome = work(tool);
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
