// label: one label per vendor file, from the MAC and SN it holds; or a
// reprint of a unit's label, from the ledger that gave its values.
#include <filesystem>
#include <set>

#include "cli/commands.h"
#include "cli/labels.h"
#include "cli/ledger_access.h"
#include "cli/messages.h"
#include "files/utf8.h"
#include "printer/printer.h"

namespace {

struct LabelOptions {
  std::vector<std::string> sources;  // files, or with --ledger the values of units
  std::optional<std::string> ledger;
  LabelDestination where;
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

// One job per label, in the given order; the first the printer refuses or
// that cannot reach it ends the run, so labels never come out of order.
Outcome PrintLabels(const ToolContext& tool, const std::string& printer,
                    const std::vector<std::pair<std::string, LabelBytes>>& labels, const Labelled& labelled) {
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const Result<std::string> job = Print(printer, labels[i].second);
    if (!job) {
      Say(tool.err, Severity::error, Wide(labelled[i].first),
          "not printed on " + printer + ": " + Describe(job.error()));
      return Outcome{.findings = true};
    }
    Print(tool.out, "printed " + labels[i].first + " on " + printer + ": " + *job + "\n");
  }
  return {};
}

// Every label is made before one is written or printed: a refused unit
// leaves none.
Outcome RunLabel(const ToolContext& tool, const LabelOptions& options) {
  const LabelDestination& where = options.where;
  if (!where.output && !where.printer)
    return LabelRefused(tool, "", "name where the labels go: -o OUT or --print PRINTER");
  const bool folder = where.output && options.sources.size() > 1;
  const std::string named = where.output.value_or(where.printer.value_or(""));
  const Result<LabelPlan> plan = PlanLabels(tool, where, folder, options.choice);
  if (!plan) return LabelRefused(tool, named, Describe(plan.error()));
  Outcome outcome;
  const Labelled labelled = Sources(tool, options, outcome);
  if (outcome.trouble || outcome.retry) return outcome;
  const std::filesystem::path out(Wide(named));
  std::vector<std::pair<std::string, LabelBytes>> labels;  // the file or MAC, the label
  std::set<std::string> names;
  for (const auto& [about, values] : labelled) {
    Result<LabelBytes> label = MakeLabelOf(values, *plan);
    if (!label) {
      outcome |= LabelRefused(tool, about, Describe(label.error()));
      continue;
    }
    const std::string mac = VendorLayout::HexText(values.mac);
    std::string path = where.output ? *where.output : mac;
    if (folder) {
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
  if (where.printer) return PrintLabels(tool, *where.printer, labels, labelled);
  if (folder) {
    std::error_code failed;
    std::filesystem::create_directories(out, failed);
    if (failed) return LabelRefused(tool, named, failed.message());
  }
  for (const auto& [path, label] : labels)
    if (Result<> written = WriteLabel(tool, path, label.bytes); !written)
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
          "-o,--output", options->where.output,
          "The label, written whole or not at all; with several a folder, each label named for its MAC")
      ->type_name("OUT");
  command
      .add_option(
          "--print", options->where.printer,
          "Print the labels instead, as ZPL unless --format png: on a printer the system names, or on "
          "a network label printer, socket://HOST[:PORT], once it reports itself ready")
      ->type_name("PRINTER")
      ->excludes("--output");
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
