// ledger init, extend, status, list and reconcile: the ledger that assign
// hands values out from. A ledger that cannot be used is refused (exit 2).
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/reading.h"
#include "files/utf8.h"
#include "ledger/ledger.h"

namespace {

using Json = nlohmann::ordered_json;

std::string Line(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

// Runs work on the ledger; its failure is said, naming the ledger, and is trouble.
template <class Work>
Outcome WithLedger(const ToolContext& tool, const LedgerOptions& options, bool create, Work work) {
  Outcome outcome;
  Result<std::unique_ptr<Ledger>> ledger = OpenLedger(options.where, create);
  Result<> done = ledger ? work(**ledger, outcome) : Result<>(ledger.error());
  if (!done) {
    Say(tool.err, Severity::error, Wide(LedgerName(options.where)), Describe(done.error()));
    outcome.trouble = true;
  }
  return outcome;
}

// The ranges given; nothing for one not given.
struct Ranges {
  std::optional<MacRange> macs;
  std::optional<SnRange> sns;
};

Result<Ranges> ParseRanges(const LedgerOptions& options) {
  Ranges ranges;
  if (options.macRange) {
    Result<MacRange> parsed = MacRange::Parse(*options.macRange);
    if (!parsed) return parsed.error();
    ranges.macs = *parsed;
  }
  if (options.snRange) {
    Result<SnRange> parsed = SnRange::Parse(*options.snRange);
    if (!parsed) return parsed.error();
    ranges.sns = *parsed;
  }
  return ranges;
}

// A failure before the ledger is opened, said as the ledger's own are.
Outcome Refuse(const ToolContext& tool, const LedgerOptions& options, const Failure& failure) {
  Say(tool.err, Severity::error, Wide(LedgerName(options.where)), Describe(failure));
  return Outcome{.trouble = true};
}

Json UnitJson(const Unit& unit) {
  Json json{
      {"mac", unit.mac},           {"sn", unit.sn},     {"path", unit.path},   {"station", unit.station},
      {"host", unit.host},         {"time", unit.time}, {"state", unit.state}, {"mac_before", unit.macBefore},
      {"sn_before", unit.snBefore}};
  if (unit.restored) json["restored"] = *unit.restored;
  return json;
}

std::string UnitText(const Unit& unit) {
  return unit.time + "  " + unit.state + "  MAC " + unit.mac + "  SN " + unit.sn + "  " + unit.path + "  (" +
         unit.station + ")\n";
}

}  // namespace

Outcome RunLedgerInit(const ToolContext& tool, const LedgerOptions& options) {
  Result<Ranges> ranges = ParseRanges(options);
  if (!ranges) return Refuse(tool, options, ranges.error());
  return WithLedger(tool, options, true,
                    [&](Ledger& ledger, Outcome&) { return ledger.Init(*ranges->macs, *ranges->sns); });
}

Outcome RunLedgerExtend(const ToolContext& tool, const LedgerOptions& options) {
  if (!options.macRange && !options.snRange) {
    return Refuse(tool, options, SystemFailure(L"give --mac-range, --sn-range or both"));
  }
  Result<Ranges> ranges = ParseRanges(options);
  if (!ranges) return Refuse(tool, options, ranges.error());
  return WithLedger(tool, options, false,
                    [&](Ledger& ledger, Outcome&) { return ledger.Extend(ranges->macs, ranges->sns); });
}

Outcome RunLedgerStatus(const ToolContext& tool, const LedgerOptions& options) {
  return WithLedger(tool, options, false, [&](Ledger& ledger, Outcome&) -> Result<> {
    Result<Status> status = ledger.Summary();
    if (!status) return status.error();
    if (options.json) {
      Json json{{"ranges", Json::array()}, {"units", Json::object()}};
      for (const RangeStatus& range : status->ranges) {
        json["ranges"].push_back({{"kind", range.kind},
                                  {"first", range.first},
                                  {"last", range.last},
                                  {"handed_out", range.handedOut},
                                  {"left", range.left}});
      }
      json["units"] = {
          {"reserved", status->reserved}, {"written", status->written}, {"failed", status->failed}};
      Print(tool.out, Line(json));
      return {};
    }
    for (const RangeStatus& range : status->ranges) {
      Print(tool.out, (range.kind == "mac" ? "MAC " : "SN  ") + range.first + "-" + range.last + "  " +
                          std::to_string(range.handedOut) + " handed out, " + std::to_string(range.left) +
                          " left\n");
    }
    Print(tool.out, "units: " + std::to_string(status->written) + " written, " +
                        std::to_string(status->failed) + " failed, " + std::to_string(status->reserved) +
                        " reserved\n");
    return {};
  });
}

Outcome RunLedgerList(const ToolContext& tool, const LedgerOptions& options) {
  return WithLedger(tool, options, false, [&](Ledger& ledger, Outcome&) -> Result<> {
    Result<std::vector<Unit>> units = ledger.Units(options.state);
    if (!units) return units.error();
    for (const Unit& unit : *units) Print(tool.out, options.json ? Line(UnitJson(unit)) : UnitText(unit));
    return {};
  });
}

// Settles the units a crash left reserved, by what their files hold now.
Outcome RunLedgerReconcile(const ToolContext& tool, const LedgerOptions& options) {
  return WithLedger(tool, options, false, [&](Ledger& ledger, Outcome& outcome) -> Result<> {
    Result<std::vector<Unit>> units = ledger.Units("reserved");
    if (!units) return units.error();
    for (Unit unit : *units) {
      Result<StoredFields> fields = ReadFields(tool.files, Wide(unit.path));
      const std::string mac = fields ? VendorLayout::HexText(fields->mac) : "";
      const std::string sn = fields ? ShownText(fields->sn) : "";
      if (fields && mac == unit.mac && sn == unit.sn) {
        unit.state = "written";
      } else if (fields && mac == unit.macBefore && sn == unit.snBefore) {
        unit.state = "failed";
        unit.restored = true;
      } else {
        outcome.findings = true;  // gone, unreadable or other values: stays reserved
      }
      if (unit.state != "reserved") {
        if (Result<> settled = ledger.Settle(unit.id, unit.state, unit.restored); !settled) return settled;
      }
      Print(tool.out, options.json ? Line(UnitJson(unit)) : UnitText(unit));
    }
    return {};
  });
}
