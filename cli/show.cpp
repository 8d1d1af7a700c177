// show and check: read files and report their fields; check's exit code also
// judges their checks.
#include "cli/command.h"
#include "cli/messages.h"
#include "cli/reading.h"
#include "files/utf8.h"

namespace {

class Show final : public Command {
 public:
  Show(CLI::App& app, const char* name, const char* description, bool judge)
      : Command(app.add_subcommand(name, description)), judge_(judge) {
    command_->add_flag("--json", json_, "One JSON object per file and line (JSON Lines)");
    command_->add_option("FILE", paths_, "Vendor files")->required();
  }

  Outcome Run(const ToolContext& tool) override {
    Outcome outcome;
    for (const std::string& path : paths_) {
      const std::wstring wide = Wide(path);
      const Reading reading{wide, ReadFields(tool.files, wide)};
      if (!reading.fields) {
        outcome.trouble = true;
        Say(tool.err, Severity::error, reading.path, Describe(reading.fields.error()));
      } else if (judge_ && !reading.fields->Consistent()) {
        outcome.findings = true;
      }
      Print(tool.out, json_ ? ReadingJson(reading) : ReadingText(reading));
    }
    return outcome;
  }

 private:
  const bool judge_;
  bool json_ = false;
  std::vector<std::string> paths_;
};

}  // namespace

std::unique_ptr<Command> AddShow(CLI::App& app) {
  return std::make_unique<Show>(app, "show", "Print each file's MAC, SN and their stored checks", false);
}

std::unique_ptr<Command> AddCheck(CLI::App& app) {
  return std::make_unique<Show>(app, "check", "The same reading; the exit code says whether the checks match",
                                true);
}
