// show and check: read files and report their fields; check's exit code also
// judges their checks.
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
    const Reading reading(path, ReadFields(tool.files, Wide(path)));
    if (!reading.fields) {
      outcome.trouble = true;
      Say(tool.err, Severity::error, Wide(reading.path), Describe(reading.fields.error()));
    } else if (judge && !reading.Consistent()) {
      outcome.findings = true;
    }
    Print(tool.out, options.json ? ReadingJson(reading) : ReadingText(reading));
  }
  return outcome;
}

Outcome RunShowOnly(const ToolContext& tool, const ShowOptions& options) {
  return RunShow(tool, options, false);
}
Outcome RunCheck(const ToolContext& tool, const ShowOptions& options) { return RunShow(tool, options, true); }

template <Outcome (*run)(const ToolContext&, const ShowOptions&)>
void DeclareShow(CLI::App& command, Work& work) {
  auto options = std::make_shared<ShowOptions>();
  command.add_flag("--json", options->json, "One JSON object per file and line (JSON Lines)");
  command.add_option("FILE", options->paths, "Vendor files")->required();
  RunsWith(command, work, options, run);
}

}  // namespace

const Command kShow{"show", "Print each file's MAC, SN and their stored checks", DeclareShow<RunShowOnly>};
const Command kCheck{"check", "The same reading; the exit code says whether the checks match",
                     DeclareShow<RunCheck>};
