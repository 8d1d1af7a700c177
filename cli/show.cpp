// show and check: read files and report their fields; check's exit code also
// judges their checks.
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/reading.h"
#include "files/utf8.h"

namespace {

struct ShowOptions {
  std::vector<std::string> paths;
  bool json = false;
};

// judge: the exit code also says whether the stored checks match.
Outcome RunShow(const ToolContext& tool, const ShowOptions& options, bool judge) {
  Outcome outcome;
  for (const std::string& path : options.paths) {
    const std::wstring wide = Wide(path);
    const Reading reading{wide, ReadFields(tool.files, wide)};
    if (!reading.fields) {
      outcome.trouble = true;
      Say(tool.err, Severity::error, reading.path, Describe(reading.fields.error()));
    } else if (judge && !reading.fields->Consistent()) {
      outcome.findings = true;
    }
    Print(tool.out, options.json ? ReadingJson(reading) : ReadingText(reading));
  }
  return outcome;
}

void AddReading(CLI::App& app, Work& work, const char* name, const char* description, bool judge) {
  auto options = std::make_shared<ShowOptions>();
  CLI::App* command = app.add_subcommand(name, description);
  command->add_flag("--json", options->json, "One JSON object per file and line (JSON Lines)");
  command->add_option("FILE", options->paths, "Vendor files")->required();
  command->callback([&work, options, judge] {
    work = [options, judge](const ToolContext& tool) { return RunShow(tool, *options, judge); };
  });
}

}  // namespace

void AddShow(CLI::App& app, Work& work) {
  AddReading(app, work, "show", "Print each file's MAC, SN and their stored checks", false);
}

void AddCheck(CLI::App& app, Work& work) {
  AddReading(app, work, "check", "The same reading; the exit code says whether the checks match", true);
}
