// The ledger's small commands: init, extend, grant, status and list.
// A ledger that cannot be used is refused (exit 2), or, out of reach or
// busy, left to a later try (exit 3).
#include "cli/commands.h"
#include "cli/forecast.h"
#include "cli/ledger_access.h"
#include "cli/messages.h"
#include "files/clock.h"
#include "files/utf8.h"

namespace {

struct LedgerOptions {
  LedgerArgument ledger;
  std::optional<std::string> macRange, snRange, state, role;
  bool json = false;
};

// Declares --mac-range and --sn-range; required for init.
void AddRanges(CLI::App& command, LedgerOptions& options, bool required) {
  CLI::Option* macs =
      command.add_option("--mac-range", options.macRange, "FIRST-LAST, two MACs (colons and spaces ignored)");
  CLI::Option* sns =
      command.add_option("--sn-range", options.snRange, "FIRST-LAST, two SNs that differ in trailing digits");
  if (required) {
    macs->required();
    sns->required();
  }
}

// The ranges given; nothing for one not given.
struct Ranges {
  std::optional<ledger::MacRange> macs;
  std::optional<ledger::SnRange> sns;
};

Result<Ranges> ParseRanges(const LedgerOptions& options) {
  Ranges ranges;
  if (options.macRange) {
    Result<ledger::MacRange> parsed = ledger::MacRange::Parse(*options.macRange);
    if (!parsed) return parsed.error();
    ranges.macs = *parsed;
  }
  if (options.snRange) {
    Result<ledger::SnRange> parsed = ledger::SnRange::Parse(*options.snRange);
    if (!parsed) return parsed.error();
    ranges.sns = *parsed;
  }
  return ranges;
}

Outcome RunInit(const ToolContext& tool, const LedgerOptions& options) {
  Result<Ranges> ranges = ParseRanges(options);
  if (!ranges) return Refuse(tool, options.ledger, ranges.error());
  return WithLedger(tool, options.ledger, true, [&](ledger::Ledger& ledger, Outcome&) {
    return ledger.Init(*ranges->macs, *ranges->sns);
  });
}

Outcome RunExtend(const ToolContext& tool, const LedgerOptions& options) {
  Result<Ranges> ranges = ParseRanges(options);
  if (ranges && !ranges->macs && !ranges->sns) ranges = Refusal(L"give --mac-range, --sn-range or both");
  if (!ranges) return Refuse(tool, options.ledger, ranges.error());
  return WithLedger(tool, options.ledger, false, [&](ledger::Ledger& ledger, Outcome&) {
    return ledger.Extend(ranges->macs, ranges->sns);
  });
}

Outcome RunStatus(const ToolContext& tool, const LedgerOptions& options) {
  return WithLedger(tool, options.ledger, false, [&](ledger::Ledger& ledger, Outcome&) -> Result<> {
    const Result<Seconds> now = LedgerNow(ledger);
    if (!now) return now.error();
    Result<ledger::Summary> summary = ledger.Summarize(IsoTime(*now));
    if (!summary) return summary.error();
    if (options.json) {
      Json json{{"replication", std::string(ledger::Name(summary->replication))},
                {"ranges", Json::array()},
                {"units", Json::object()}};
      for (const ledger::RangeSummary& range : summary->ranges) {
        const std::optional<Seconds> out = ledger::RunsOut(range, *now);
        json["ranges"].push_back({{"kind", range.kind == ledger::RangeSummary::Kind::mac ? "mac" : "sn"},
                                  {"first", range.first},
                                  {"last", range.last},
                                  {"handed_out", range.handedOut},
                                  {"left", range.left},
                                  {"last_hour", range.lastHour},
                                  {"last_day", range.lastDay},
                                  {"runs_out", out ? Json(IsoTime(*out)) : Json(nullptr)}});
      }
      for (std::size_t i = 0; i < std::size(ledger::kUnitStates); ++i)
        json["units"][std::string(ledger::Name(ledger::kUnitStates[i]))] = summary->units[i];
      json["clocks_off"] = Json::array();
      for (const ledger::ClockOff& clock : summary->clocks) {
        json["clocks_off"].push_back({{"station", clock.station},
                                      {"time", clock.time},
                                      {"station_time", clock.stationTime},
                                      {"seconds", clock.seconds}});
      }
      json["leases"] = Json::array();
      for (const ledger::StationLeases& station : summary->leases) {
        json["leases"].push_back({{"station", station.station},
                                  {"leased", station.leased},
                                  {"sent", station.sent},
                                  {"given_back", station.givenBack},
                                  {"lost", station.lost},
                                  {"left", station.left},
                                  {"heard", station.heard}});
      }
      json["given_back_left"] = summary->givenBackLeft;
      Print(tool.out, JsonLine(json));
      return {};
    }
    Print(tool.out, "replication: " + ReplicationText(summary->replication) + "\n");
    for (const ledger::RangeSummary& range : summary->ranges) {
      Print(tool.out, RangeName(range) + "  " + std::to_string(range.handedOut) + " handed out, " +
                          std::to_string(range.left) + " left; " + std::to_string(range.lastHour) +
                          " in the last hour, " + std::to_string(range.lastDay) +
                          " in the last 24 hours: " + RunOutText(range, *now) + "\n");
    }
    std::string units;
    for (std::size_t i = 0; i < std::size(ledger::kUnitStates); ++i) {
      units += (i ? ", " : "") + std::to_string(summary->units[i]) + " " +
               std::string(ledger::Name(ledger::kUnitStates[i]));
    }
    Print(tool.out, "units: " + units + "\n");
    for (const ledger::ClockOff& clock : summary->clocks) {
      const std::int64_t off = clock.seconds < 0 ? -clock.seconds : clock.seconds;
      Print(tool.out, "station " + clock.station + ": its clock was " + std::to_string(off) + " s " +
                          (clock.seconds < 0 ? "behind" : "ahead of") + " the ledger's on its latest unit (" +
                          clock.stationTime + " for " + clock.time + ")\n");
    }
    // The server cannot tell a leased value unused from one programmed
    // while it was out of reach until the station sends its unit.
    for (const ledger::StationLeases& station : summary->leases) {
      Print(tool.out, "station " + station.station + "'s leases: " + std::to_string(station.leased) +
                          " values, " + std::to_string(station.sent) + " sent back as units, " +
                          std::to_string(station.givenBack) + " given back, " + std::to_string(station.lost) +
                          " lost with withdrawn leases, " + std::to_string(station.left) +
                          " left or programmed and not yet sent; last heard from " +
                          (station.heard.empty() ? std::string("never") : station.heard) + "\n");
    }
    if (summary->givenBackLeft > 0)
      Print(tool.out, std::to_string(summary->givenBackLeft) +
                          " values given back wait to be handed out again, before any new value\n");
    return {};
  });
}

Outcome RunList(const ToolContext& tool, const LedgerOptions& options) {
  return WithLedger(tool, options.ledger, false, [&](ledger::Ledger& ledger, Outcome&) -> Result<> {
    ledger::UnitFilter filter;
    if (options.state) filter.state = ledger::ParseUnitState(*options.state);
    return ledger.EachUnit(filter, [&](const ledger::Unit& unit) -> Result<> {
      Print(tool.out, options.json ? UnitJsonLine(unit) : UnitText(unit));
      return {};
    });
  });
}

Outcome RunGrant(const ToolContext& tool, const LedgerOptions& options) {
  return WithLedger(tool, options.ledger, false,
                    [&](ledger::Ledger& ledger, Outcome&) { return ledger.Grant(*options.role); });
}

std::shared_ptr<LedgerOptions> Options(CLI::App& command) {
  auto options = std::make_shared<LedgerOptions>();
  AddLedgerArgument(command, options->ledger, true);
  return options;
}

void DeclareInit(CLI::App& init, Work& work) {
  auto options = Options(init);
  AddRanges(init, *options, true);
  RunsWith(init, work, options, RunInit);
}

void DeclareExtend(CLI::App& extend, Work& work) {
  auto options = Options(extend);
  AddRanges(extend, *options, false);
  RunsWith(extend, work, options, RunExtend);
}

void DeclareStatus(CLI::App& status, Work& work) {
  auto options = Options(status);
  status.add_flag("--json", options->json, "One JSON object");
  RunsWith(status, work, options, RunStatus);
}

void DeclareList(CLI::App& list, Work& work) {
  auto options = Options(list);
  list.add_flag("--json", options->json, "One JSON object per unit and line (JSON Lines)");
  list.add_option("--state", options->state, "Only units in this state")->check(CLI::IsMember(StateNames()));
  RunsWith(list, work, options, RunList);
}

void DeclareGrant(CLI::App& grant, Work& work) {
  auto options = Options(grant);
  grant.add_option("ROLE", options->role, "A server's role: a station's login role, or a group of them")
      ->required();
  RunsWith(grant, work, options, RunGrant);
}

}  // namespace

const Command kLedgerInit{"init", "Make a new ledger with its first ranges", DeclareInit};
const Command kLedgerExtend{"extend", "Add a MAC range, an SN range or both", DeclareExtend};
const Command kLedgerStatus{
    "status", "Per range what was handed out and what is left, and when it runs out; units per state",
    DeclareStatus};
const Command kLedgerList{"list", "One unit per line, oldest first", DeclareList};
const Command kLedgerGrant{
    "grant", "Give a server's role what a station needs, and nothing more (the ledger's owner only)",
    DeclareGrant};
