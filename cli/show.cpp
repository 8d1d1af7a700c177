// show and check: read files and report their fields; check's exit code also
// judges their checks.
#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/reading.h"
#include "files/utf8.h"

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
