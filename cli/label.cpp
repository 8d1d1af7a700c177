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
Result<LabelValues> ReprintedUnit(ledger::Ledger& ledger, const std::string& typed) {
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
  return LedgerValues(*found);
}

using Labelled = std::vector<std::pair<std::string, LabelValues>>;  // each named for messages

// The values the labels are for: the files', or the ledger's units'.
Labelled Sources(const ToolContext& tool, const LabelOptions& options, Outcome& outcome) {
  Labelled labelled;
  if (!options.ledger) {
    for (const std::string& path : options.sources) {
      Result<LabelValues> values = FileValues(tool, path);
      if (values) {
        labelled.emplace_back(path, *values);
      } else {
        outcome |= LabelRefused(tool, path, Describe(values.error()));
      }
    }
    return labelled;
  }
  outcome |= WithLedger(tool, {options.ledger, std::nullopt}, false,
                        [&](ledger::Ledger& ledger, Outcome& found) -> Result<> {
                          for (const std::string& value : options.sources) {
                            Result<LabelValues> values = ReprintedUnit(ledger, value);
                            if (values) {
                              labelled.emplace_back(value, *values);
                            } else if (values.error().cause == Failure::Cause::refused) {
                              found |= LabelRefused(tool, value, Describe(values.error()));
                            } else {
                              return values.error();
                            }
                          }
                          return {};
                        });
  return labelled;
}

// Every label is made before one is written: a refused unit leaves none.
Outcome RunLabel(const ToolContext& tool, const LabelOptions& options) {
  const bool folder = options.sources.size() > 1;
  const Result<LabelPlan> plan = PlanLabels(tool, folder ? "" : options.output, options.choice);
  if (!plan)
    return LabelRefused(tool, options.output,
                        folder && !options.choice.format && !options.choice.design
                            ? "with several labels OUT is a folder: name their format with --format"
                            : Describe(plan.error()));
  Outcome outcome;
  const Labelled labelled = Sources(tool, options, outcome);
  if (outcome.trouble || outcome.retry) return outcome;
  const std::filesystem::path out(Wide(options.output));
  std::vector<std::pair<std::string, std::string>> labels;  // path, bytes
  std::set<std::string> names;
  for (const auto& [about, values] : labelled) {
    Result<std::string> label = MakeLabelOf(values, *plan);
    if (!label) {
      outcome |= LabelRefused(tool, about, Describe(label.error()));
      continue;
    }
    std::string path = options.output;
    if (folder) {
      const std::string mac = VendorLayout::HexText(values.mac);
      if (!names.insert(mac).second) {
        outcome |=
            LabelRefused(tool, about, "another holds the same MAC, " + mac + ": their labels share a name");
        continue;
      }
      path = Utf8((out / Wide(mac + "." + LabelFormatName(plan->format))).wstring());
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
  command.add_option("--size", options->choice.size, "The label's WIDTHxHEIGHT in millimetres (50x25)");
  command
      .add_option(
          "--template", options->choice.design,
          "A site's own label, a .zpl or .svg file whose format the labels take, with {mac}, "
          "{mac:colons}, {mac:dashes}, {sn}, {time} (UTC: the unit's with --ledger, else when the label is "
          "made) and {station} (the unit's, else this machine's name) filled in; in an SVG the elements "
          "with id mac-barcode, sn-barcode and datamatrix become those barcodes, fitted to their boxes at "
          "--dpi. An unknown {name} is refused; any other brace is left as it is")
      ->type_name("FILE");
  RunsWith(command, work, options, RunLabel);
}

}  // namespace

const Command kLabel{"label", "Make a label of each file's MAC and SN, or reprint a unit's from the ledger",
                     DeclareLabel};
