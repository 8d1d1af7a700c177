// ledger export: the units, oldest first, as a file the ERP and the customer
// take: CSV (RFC 4180, UTF-8, a header row, no cell a spreadsheet would run
// as a formula: csv.h) or JSON Lines. Rows are written as they are read, so
// a ledger of a million units takes no more memory than one of a thousand;
// with -o the file is written under a temporary name and given its own once
// whole, so a reader never sees half an export.

#include "cli/commands.h"
#include "cli/csv.h"
#include "cli/ledger_access.h"
#include "cli/output.h"
#include "files/clock.h"
#include "files/utf8.h"

namespace {

struct ExportOptions {
  LedgerArgument ledger;
  std::string format = "csv";
  std::optional<std::string> since, until, station, state, output;
  bool history = false;
};

constexpr char kCsvHeader[] =
    "mac,sn,state,station,host,time,path,mac_before,sn_before,station_time,lease\r\n";

std::string CsvLine(std::initializer_list<std::string_view> fields) {
  std::string line;
  for (const std::string_view field : fields) line += (line.empty() ? "" : ",") + CsvField(field);
  return line + "\r\n";
}

std::string CsvLine(const ledger::Unit& unit) {
  return CsvLine({unit.mac, unit.sn, ledger::Name(unit.state), unit.station, unit.host, unit.time, unit.path,
                  unit.macBefore, unit.snBefore, unit.stationTime, unit.lease.value_or("")});
}

constexpr char kHistoryCsvHeader[] = "mac,sn,state_before,state,path,station,role,time,note\r\n";

std::string CsvLine(const ledger::Change& change) {
  return CsvLine({change.mac, change.sn, change.before ? ledger::Name(*change.before) : "",
                  ledger::Name(change.state), change.path, change.station, change.role, change.time,
                  change.note});
}

// A time as the tool takes one: UTC ISO 8601 to the second, or a day (its
// start); nothing for anything else.
std::optional<std::string> TimeGiven(const std::string& text) {
  const std::string time = text.size() == 10 ? text + "T00:00:00Z" : text;
  if (!ParseIsoTime(time)) return std::nullopt;
  return time;
}

Outcome RunExport(const ToolContext& tool, const ExportOptions& options) {
  if (options.station) {
    if (Result<> named = CheckStationName(*options.station); !named)
      return Refuse(tool, options.ledger, named.error());
  }
  ledger::UnitFilter filter;
  filter.station = options.station;
  if (options.state) filter.state = ledger::ParseUnitState(*options.state);
  for (auto [given, into] :
       {std::pair{&options.since, &filter.since}, std::pair{&options.until, &filter.until}}) {
    if (!*given) continue;
    *into = TimeGiven(**given);
    if (!*into)
      return Refuse(
          tool, options.ledger,
          Refusal(Wide("\"" + **given + "\" is no time: give 2026-12-09 or 2026-12-09T14:00:00Z (UTC)")));
  }
  const bool csv = options.format == "csv";
  Result<Output> output = Output::Open(tool, options.output);
  if (!output) return OutcomeOf(output.error());
  return WithLedger(tool, options.ledger, false, [&](ledger::Ledger& ledger, Outcome& outcome) -> Result<> {
    Result<> done = csv ? output->Put(options.history ? kHistoryCsvHeader : kCsvHeader) : Result<>();
    if (done && options.history) {
      done = ledger.EachChange(filter, [&](const ledger::Change& change) {
        return output->Put(csv ? CsvLine(change) : JsonLine(ChangeJson(change)));
      });
    } else if (done) {
      done = ledger.EachUnit(filter, [&](const ledger::Unit& unit) {
        return output->Put(csv ? CsvLine(unit) : UnitJsonLine(unit));
      });
    }
    if (done) done = output->Finish();
    return output->Failed(outcome) ? Result<>() : done;
  });
}

void DeclareExport(CLI::App& command, Work& work) {
  auto options = std::make_shared<ExportOptions>();
  AddLedgerArgument(command, options->ledger, true);
  command.add_option("--format", options->format, "csv (the default) or jsonl")
      ->check(CLI::IsMember({"csv", "jsonl"}));
  command
      .add_option("--since", options->since,
                  "Only units from this UTC time on: 2026-12-09 or 2026-12-09T14:00:00Z")
      ->type_name("TIME");
  command.add_option("--until", options->until, "Only units before this UTC time")->type_name("TIME");
  command.add_option("--station", options->station, "Only this station's units")->type_name("NAME");
  command.add_option("--state", options->state, "Only units in this state")
      ->check(CLI::IsMember(StateNames()));
  command.add_flag("--history", options->history,
                   "The history instead: every change of a unit, oldest first; the filters take the change's "
                   "own time, station and state");
  AddOutputOption(command, options->output);
  RunsWith(command, work, options, RunExport);
}

}  // namespace

const Command kLedgerExport{
    "export", "The units, or their history, oldest first, as CSV (RFC 4180, a header row) or JSON Lines",
    DeclareExport};
