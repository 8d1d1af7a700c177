// ledger report: one self-contained HTML page a supervisor looks at rather
// than reads: per range a bar of what was handed out against what is left,
// with the day it runs out; units per hour and station over the last three
// days; the states at a glance, with the reserved and failed units; the
// latest units. Charts are inline SVG; the page loads nothing (its content
// security policy forbids it), so it opens from a USB stick on a factory PC.
// Every text from the ledger is escaped.
#include <algorithm>
#include <map>

#include "cli/commands.h"
#include "cli/forecast.h"
#include "cli/ledger_access.h"
#include "cli/output.h"
#include "files/clock.h"
#include "label/markup.h"

namespace {

struct ReportOptions {
  LedgerArgument ledger;
  std::optional<std::string> output;
};

constexpr int kHours = 72;    // the chart's span
constexpr int kListed = 200;  // reserved or failed units listed at most
constexpr int kLatest = 20;   // latest units shown
constexpr const char* kColours[] = {"#2b6cb0", "#dd6b20", "#38a169", "#d53f8c", "#805ad5",
                                    "#d69e2e", "#319795", "#e53e3e", "#718096", "#2c5282"};

constexpr char kHead[] = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'">
<meta name="viewport" content="width=device-width, initial-scale=1">
<style>
body{font:14px/1.45 system-ui,"Segoe UI",Tahoma,sans-serif;color:#1a202c;margin:24px auto;max-width:1000px;padding:0 16px}
h1{font-size:22px;margin:0}h2{font-size:17px;margin:28px 0 8px;border-bottom:1px solid #e2e8f0;padding-bottom:4px}
h3{font-size:15px;margin:16px 0 6px}.meta{color:#718096;margin:4px 0 0}
.range{margin:10px 0}.range .name{font-weight:600}.range .figures{color:#4a5568}
.low{color:#c53030;font-weight:600}
.tiles{display:flex;gap:12px;flex-wrap:wrap}.tile{border:1px solid #e2e8f0;border-radius:6px;padding:8px 16px;min-width:120px}
.tile b{display:block;font-size:24px}.legend span{display:inline-block;margin-right:16px}
.swatch{display:inline-block;width:10px;height:10px;margin-right:4px;border-radius:2px}
table{border-collapse:collapse;width:100%;font-size:13px}th,td{text-align:left;padding:3px 8px;border-bottom:1px solid #edf2f7}
th{color:#4a5568;font-weight:600}td.path{word-break:break-all}.none{color:#718096}
</style>
)";

std::string Number(double value) { return std::to_string(static_cast<long long>(value + 0.5)); }

std::string RangeBar(const ledger::RangeSummary& range, Seconds now) {
  const std::uint64_t total = range.handedOut + range.left;
  const double used = total ? 600.0 * static_cast<double>(range.handedOut) / static_cast<double>(total) : 0;
  const bool low = RunningLow(range);
  return "<div class=\"range\"><div><span class=\"name\">" + MarkupText(RangeName(range)) +
         "</span> <span class=\"figures\">" + std::to_string(range.handedOut) + " handed out, " +
         std::to_string(range.left) + " left; " + std::to_string(range.lastDay) +
         " in the last 24 hours:</span> <span" + (low ? " class=\"low\"" : "") + ">" +
         MarkupText(RunOutText(range, now)) + "</span></div>" +
         "<svg width=\"600\" height=\"18\" role=\"img\" aria-label=\"handed out against left\">"
         "<rect width=\"600\" height=\"18\" rx=\"3\" fill=\"#e2e8f0\"/><rect width=\"" +
         Number(used) + "\" height=\"18\" rx=\"3\" fill=\"" + (low ? "#c53030" : "#2b6cb0") +
         "\"/></svg></div>\n";
}

// Stacked bars, one per hour, one colour per station.
std::string HourChart(const std::vector<ledger::HourCount>& counts, Seconds now) {
  const Seconds lastHour = std::chrono::floor<std::chrono::hours>(now);
  std::vector<std::string> hours;
  for (int i = kHours - 1; i >= 0; --i)
    hours.push_back(IsoTime(lastHour - std::chrono::hours(i)).substr(0, 13));
  std::map<std::string, std::uint64_t> stations;  // by name, with their totals
  std::map<std::string, std::uint64_t> perHour;
  for (const ledger::HourCount& count : counts) {
    stations[count.station] += count.units;
    perHour[count.hour] += count.units;
  }
  std::uint64_t highest = 1;
  for (const auto& [hour, units] : perHour) highest = std::max(highest, units);
  const double width = 960.0 / kHours, height = 200, top = 10;
  std::string svg =
      "<svg width=\"1000\" height=\"240\" role=\"img\" aria-label=\"units per hour\">"
      "<line x1=\"30\" y1=\"210\" x2=\"990\" y2=\"210\" stroke=\"#a0aec0\"/>"
      "<text x=\"26\" y=\"" +
      Number(top + 4) + "\" font-size=\"11\" text-anchor=\"end\">" + std::to_string(highest) +
      "</text><text x=\"26\" y=\"214\" font-size=\"11\" text-anchor=\"end\">0</text>";
  std::map<std::string, double> filled;  // each hour's stack so far
  std::size_t colour = 0;
  std::string legend = "<p class=\"legend\">";
  for (const auto& [station, total] : stations) {
    const char* fill = kColours[colour++ % std::size(kColours)];
    legend += "<span><span class=\"swatch\" style=\"background:" + std::string(fill) + "\"></span>" +
              MarkupText(station) + " (" + std::to_string(total) + ")</span>";
    for (const ledger::HourCount& count : counts) {
      const auto slot = std::find(hours.begin(), hours.end(), count.hour);
      if (count.station != station || slot == hours.end()) continue;
      const double tall = height * static_cast<double>(count.units) / static_cast<double>(highest);
      double& below = filled[count.hour];
      svg += "<rect x=\"" + Number(30 + width * static_cast<double>(slot - hours.begin())) + "\" y=\"" +
             Number(top + height - below - tall) + "\" width=\"" + Number(width - 2) + "\" height=\"" +
             Number(tall) + "\" fill=\"" + fill + "\"><title>" +
             MarkupText(station + ", " + count.hour + ":00: ") + std::to_string(count.units) +
             " units</title></rect>";
      below += tall;
    }
  }
  for (std::size_t i = 0; i < hours.size(); ++i) {
    if (hours[i].substr(11) != "00") continue;
    const std::string x = Number(30 + width * static_cast<double>(i));
    svg += "<line x1=\"" + x + "\" y1=\"10\" x2=\"" + x + "\" y2=\"214\" stroke=\"#e2e8f0\"/><text x=\"" + x +
           "\" y=\"230\" font-size=\"11\">" + hours[i].substr(0, 10) + "</text>";
  }
  if (stations.empty()) legend += "<span class=\"none\">No units in these three days.</span>";
  return svg + "</svg>" + legend + "</p>\n";
}

std::string UnitTable(const std::vector<ledger::Unit>& units, const std::string& none) {
  if (units.empty()) return "<p class=\"none\">" + none + "</p>\n";
  std::string table =
      "<table><tr><th>Time (UTC)</th><th>State</th><th>MAC</th><th>SN</th><th>Station</th>"
      "<th>Path</th></tr>";
  for (const ledger::Unit& unit : units) {
    // A unit from a lease reached the server after the cut it was programmed in.
    const std::string programmed =
        unit.lease ? "<br><small>programmed " + MarkupText(unit.stationTime) + " from a lease</small>" : "";
    table += "<tr><td>" + MarkupText(unit.time) + programmed + "</td><td>" +
             std::string(ledger::Name(unit.state)) + "</td><td>" + MarkupText(unit.mac) + "</td><td>" +
             MarkupText(unit.sn) + "</td><td>" + MarkupText(unit.station) + "</td><td class=\"path\">" +
             MarkupText(unit.path) + "</td></tr>";
  }
  return table + "</table>\n";
}

Result<std::vector<ledger::Unit>> Units(ledger::Ledger& ledger, ledger::UnitFilter filter) {
  std::vector<ledger::Unit> units;
  Result<> listed = ledger.EachUnit(filter, [&](const ledger::Unit& unit) -> Result<> {
    units.push_back(unit);
    return {};
  });
  if (!listed) return listed.error();
  return units;
}

Result<std::string> Page(ledger::Ledger& ledger, const std::string& name, Seconds now) {
  Result<ledger::Summary> summary = ledger.Summarize(IsoTime(now));
  if (!summary) return summary.error();
  Result<std::vector<ledger::HourCount>> hours = ledger.UnitsPerHour(
      IsoTime(std::chrono::floor<std::chrono::hours>(now) - std::chrono::hours(kHours - 1)));
  if (!hours) return hours.error();
  std::string page = kHead + std::string("<title>Ledger ") + MarkupText(name) + "</title></head><body>\n" +
                     "<h1>Ledger report</h1><p class=\"meta\">" + MarkupText(name) + " &middot; " +
                     IsoTime(now) +
                     " &middot; replication: " + MarkupText(ReplicationText(summary->replication)) +
                     "</p>\n<h2>Ranges</h2>\n";
  for (const ledger::RangeSummary& range : summary->ranges) page += RangeBar(range, now);
  page += "<h2>Units per hour, the last three days</h2>\n" + HourChart(*hours, now) +
          "<h2>States</h2>\n<div class=\"tiles\">";
  for (std::size_t i = 0; i < std::size(ledger::kUnitStates); ++i) {
    page += "<div class=\"tile\"><b>" + std::to_string(summary->units[i]) + "</b>" +
            std::string(ledger::Name(ledger::kUnitStates[i])) + "</div>";
  }
  page += "</div>\n";
  for (ledger::UnitState state : {ledger::UnitState::reserved, ledger::UnitState::failed}) {
    ledger::UnitFilter filter;
    filter.state = state;
    filter.latest = kListed;
    Result<std::vector<ledger::Unit>> units = Units(ledger, filter);
    if (!units) return units.error();
    const std::uint64_t all = summary->units[static_cast<std::size_t>(state)];
    page += "<h3>" + std::string(state == ledger::UnitState::reserved ? "Reserved" : "Failed") + " units" +
            (all > kListed ? ", the latest " + std::to_string(kListed) + " of " + std::to_string(all) : "") +
            "</h3>\n" + UnitTable(*units, "None.");
  }
  ledger::UnitFilter latest;
  latest.latest = kLatest;
  Result<std::vector<ledger::Unit>> units = Units(ledger, latest);
  if (!units) return units.error();
  return page + "<h2>Latest units</h2>\n" + UnitTable(*units, "No unit yet.") + "</body></html>\n";
}

Outcome RunReport(const ToolContext& tool, const ReportOptions& options) {
  Result<Output> output = Output::Open(tool, options.output);
  if (!output) return OutcomeOf(output.error());
  return WithLedger(tool, options.ledger, false, [&](ledger::Ledger& ledger, Outcome& outcome) -> Result<> {
    const Result<Seconds> now = LedgerNow(ledger);
    if (!now) return now.error();
    Result<std::string> page = Page(ledger, LedgerShown(options.ledger), *now);
    if (!page) return page.error();
    Result<> done = output->Put(*page);
    if (done) done = output->Finish();
    return output->Failed(outcome) ? Result<>() : done;
  });
}

void DeclareReport(CLI::App& command, Work& work) {
  auto options = std::make_shared<ReportOptions>();
  AddLedgerArgument(command, options->ledger, true);
  AddOutputOption(command, options->output);
  RunsWith(command, work, options, RunReport);
}

}  // namespace

const Command kLedgerReport{
    "report", "One HTML page for a supervisor: ranges and when they run out, units per hour, states",
    DeclareReport};
