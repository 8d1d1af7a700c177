// label: one label per vendor file, from the MAC and SN it holds; or a
// reprint of a unit's label, from the ledger that gave its values.
#include <filesystem>
#include <set>

#include "cli/commands.h"
#include "cli/labels.h"
#include "cli/ledger_access.h"
#include "cli/messages.h"
#include "files/utf8.h"

namespace {

struct LabelOptions {
  std::vector<std::string> sources;  // files, or with --ledger the values of units
  std::optional<std::string> ledger;
  std::string output;
  LabelChoice choice;
};

Outcome LabelRefused(const ToolContext& tool, const std::string& about, const std::string& why) {
  Say(tool.err, Severity::error, Wide(about), why);
  return Outcome{.trouble = true};
}

// The written unit whose own values (not those before) hold value; only a
// written unit's values are on a device.
Result<LabelledUnit> ReprintedUnit(ledger::Ledger& ledger, const std::string& typed) {
  const std::optional<std::string> value = LedgerValue(typed);
  if (!value) return Refusal(Wide("\"" + typed + "\" is neither a MAC nor an SN"));
  ledger::UnitFilter filter;
  filter.values = {*value};
  std::optional<ledger::Unit> found;
  Result<> listed = ledger.EachUnit(filter, [&](const ledger::Unit& unit) -> Result<> {
    if (unit.mac == *value || unit.sn == *value) found = unit;
    return {};
  });
  if (!listed) return listed.error();
  if (!found) return Refusal(Wide(*value + ": no unit has it"));
  if (found->state != ledger::UnitState::written)
    return Refusal(Wide(*value + ": its unit is " + std::string(ledger::Name(found->state)) +
                        ", not written: its values are on no device to label"));
  return LedgerUnit(*found);
}

// The units the labels are for, each named for messages.
Result<std::vector<std::pair<std::string, LabelledUnit>>> Units(const ToolContext& tool,
                                                                const LabelOptions& options,
                                                                Outcome& outcome) {
  std::vector<std::pair<std::string, LabelledUnit>> units;
  if (!options.ledger) {
    for (const std::string& path : options.sources) {
      Result<LabelledUnit> unit = FileUnit(tool, path);
      if (unit)
        units.emplace_back(path, *unit);
      else
        outcome |= LabelRefused(tool, path, Describe(unit.error()));
    }
    return units;
  }
  const LedgerArgument ledger{options.ledger, std::nullopt};
  outcome |= WithLedger(tool, ledger, false, [&](ledger::Ledger& opened, Outcome& found) -> Result<> {
    for (const std::string& value : options.sources) {
      Result<LabelledUnit> unit = ReprintedUnit(opened, value);
      if (unit)
        units.emplace_back(value, *unit);
      else if (unit.error().cause == Failure::Cause::refused)
        found |= LabelRefused(tool, value, Describe(unit.error()));
      else
        return unit.error();
    }
    return {};
  });
  return units;
}

// Every label is made before one is written: a refused unit leaves none.
Outcome RunLabel(const ToolContext& tool, const LabelOptions& options) {
  const bool folder = options.sources.size() > 1;
  const std::string named = folder ? "" : options.output;
  if (Result<> asked = CheckLabelChoice(named, options.choice); !asked)
    return LabelRefused(tool, options.output,
                        folder && !options.choice.format
                            ? "with several labels OUT is a folder: name their format with --format"
                            : Describe(asked.error()));
  const LabelFormat format = *LabelFormatFor(named, options.choice);
  Outcome outcome;
  const Result<std::vector<std::pair<std::string, LabelledUnit>>> units = Units(tool, options, outcome);
  if (outcome.trouble || outcome.retry) return outcome;
  const std::filesystem::path out(Wide(options.output));
  std::vector<std::pair<std::string, std::string>> labels;  // path, bytes
  std::set<std::string> names;
  for (const auto& [about, unit] : *units) {
    Result<std::string> label = MakeLabelOf(unit, options.choice, format);
    if (!label) {
      outcome |= LabelRefused(tool, about, Describe(label.error()));
      continue;
    }
    std::string path = options.output;
    if (folder) {
      const std::string mac = VendorLayout::HexText(unit.mac);
      if (!names.insert(mac).second) {
        outcome |=
            LabelRefused(tool, about, "another holds the same MAC, " + mac + ": their labels share a name");
        continue;
      }
      path = Utf8((out / Wide(mac + "." + *options.choice.format)).wstring());
    }
    labels.emplace_back(path, std::move(*label));
  }
  if (outcome.trouble) return outcome;
  if (folder) {
    std::error_code failed;
    std::filesystem::create_directories(out, failed);
    if (failed) return LabelRefused(tool, options.output, failed.message());
  }
  for (const auto& [path, bytes] : labels)
    if (Result<> written = WriteLabel(tool, path, bytes); !written)
      return LabelRefused(tool, path, Describe(written.error()));
  return outcome;
}

void DeclareLabel(CLI::App& command, Work& work) {
  auto options = std::make_shared<LabelOptions>();
  command.add_option("FILE", options->sources, "Vendor files; with --ledger, the MAC or SN of each unit")
      ->required();
  command
      .add_option(
          "--ledger", options->ledger,
          "Reprint written units' labels from this ledger, each found by its MAC or SN as ledger find "
          "finds it")
      ->type_name("LEDGER");
  command
      .add_option(
          "-o,--output", options->output,
          "The label, written whole or not at all; with several a folder, each label named for its MAC")
      ->type_name("OUT")
      ->required();
  command
      .add_option("--format", options->choice.format,
                  "zpl, png or svg, where OUT has no extension naming one")
      ->check(CLI::IsMember({"zpl", "png", "svg"}));
  command.add_option("--dpi", options->choice.dpi, "The printer's dots per inch")
      ->check(CLI::Range(100, 1200))
      ->capture_default_str();
  command.add_option("--size", options->choice.size, "The label's WIDTHxHEIGHT in millimetres")
      ->capture_default_str();
  RunsWith(command, work, options, RunLabel);
}

}  // namespace

const Command kLabel{"label", "Make a label of each file's MAC and SN, or reprint a unit's from the ledger",
                     DeclareLabel};
