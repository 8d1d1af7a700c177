// ledger init, extend, status, list and reconcile: the ledger that assign
// hands values out from.
#include <nlohmann/json.hpp>

#include "cli/command.h"
#include "cli/messages.h"
#include "cli/reading.h"
#include "files/utf8.h"
#include "ledger/ledger.h"

namespace {

using Json = nlohmann::ordered_json;

std::string Line(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

// A ledger subcommand: LEDGER first, the ledger's failures refused (exit 2).
class LedgerCommand : public Command {
 public:
  LedgerCommand(CLI::App& ledger, const char* name, const char* description)
      : Command(ledger.add_subcommand(name, description)) {
    command_->add_option("LEDGER", where_, "An SQLite ledger file")->required();
  }

  Outcome Run(const ToolContext& tool) override {
    Outcome outcome;
    if (Result<> done = Work(tool, outcome); !done) {
      Say(tool.err, Severity::error, Wide(LedgerName(where_)), Describe(done.error()));
      outcome.trouble = true;
    }
    return outcome;
  }

 protected:
  virtual Result<> Work(const ToolContext& tool, Outcome& outcome) = 0;
  std::string where_;
};

// The ranges given, parsed; nothing for one not given.
struct Ranges {
  std::optional<std::string> macs, sns;

  void AddTo(CLI::App* command, bool required) {
    CLI::Option* mac =
        command->add_option("--mac-range", macs, "FIRST-LAST, two MACs (colons and spaces ignored)");
    CLI::Option* sn =
        command->add_option("--sn-range", sns, "FIRST-LAST, two SNs that differ in trailing digits");
    if (required) {
      mac->required();
      sn->required();
    }
  }
  Result<std::pair<std::optional<MacRange>, std::optional<SnRange>>> Parse() const {
    std::optional<MacRange> mac;
    std::optional<SnRange> sn;
    if (macs) {
      Result<MacRange> parsed = MacRange::Parse(*macs);
      if (!parsed) return parsed.error();
      mac = *parsed;
    }
    if (sns) {
      Result<SnRange> parsed = SnRange::Parse(*sns);
      if (!parsed) return parsed.error();
      sn = *parsed;
    }
    return std::pair{mac, sn};
  }
};

class InitLedger final : public LedgerCommand {
 public:
  explicit InitLedger(CLI::App& ledger)
      : LedgerCommand(ledger, "init", "Make a new ledger with its first ranges") {
    ranges_.AddTo(command_, true);
  }

 private:
  Result<> Work(const ToolContext&, Outcome&) override {
    auto ranges = ranges_.Parse();
    if (!ranges) return ranges.error();
    Result<std::unique_ptr<Ledger>> ledger = OpenLedger(where_, true);
    if (!ledger) return ledger.error();
    return (*ledger)->Init(*ranges->first, *ranges->second);
  }
  Ranges ranges_;
};

class ExtendLedger final : public LedgerCommand {
 public:
  explicit ExtendLedger(CLI::App& ledger)
      : LedgerCommand(ledger, "extend", "Add a MAC range, an SN range or both") {
    ranges_.AddTo(command_, false);
  }

 private:
  Result<> Work(const ToolContext&, Outcome&) override {
    if (!ranges_.macs && !ranges_.sns) return SystemFailure(L"give --mac-range, --sn-range or both");
    auto ranges = ranges_.Parse();
    if (!ranges) return ranges.error();
    Result<std::unique_ptr<Ledger>> ledger = OpenLedger(where_, false);
    if (!ledger) return ledger.error();
    return (*ledger)->Extend(ranges->first, ranges->second);
  }
  Ranges ranges_;
};

class LedgerStatus final : public LedgerCommand {
 public:
  explicit LedgerStatus(CLI::App& ledger)
      : LedgerCommand(ledger, "status", "Per range what was handed out and what is left; units per state") {
    command_->add_flag("--json", json_, "One JSON object");
  }

 private:
  Result<> Work(const ToolContext& tool, Outcome&) override {
    Result<std::unique_ptr<Ledger>> ledger = OpenLedger(where_, false);
    if (!ledger) return ledger.error();
    Result<Status> status = (*ledger)->Summary();
    if (!status) return status.error();
    if (json_) {
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
  }
  bool json_ = false;
};

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

class ListUnits final : public LedgerCommand {
 public:
  explicit ListUnits(CLI::App& ledger) : LedgerCommand(ledger, "list", "One unit per line, oldest first") {
    command_->add_flag("--json", json_, "One JSON object per unit and line (JSON Lines)");
    command_->add_option("--state", state_, "Only units in this state")
        ->check(CLI::IsMember({"reserved", "written", "failed"}));
  }

 private:
  Result<> Work(const ToolContext& tool, Outcome&) override {
    Result<std::unique_ptr<Ledger>> ledger = OpenLedger(where_, false);
    if (!ledger) return ledger.error();
    Result<std::vector<Unit>> units = (*ledger)->Units(state_);
    if (!units) return units.error();
    for (const Unit& unit : *units) Print(tool.out, json_ ? Line(UnitJson(unit)) : UnitText(unit));
    return {};
  }
  bool json_ = false;
  std::optional<std::string> state_;
};

// Settles the units a crash left reserved, by what their files hold now.
class ReconcileUnits final : public LedgerCommand {
 public:
  explicit ReconcileUnits(CLI::App& ledger)
      : LedgerCommand(ledger, "reconcile", "Settle reserved units by what their files hold") {
    command_->add_flag("--json", json_, "One JSON object per reserved unit and line (JSON Lines)");
  }

 private:
  Result<> Work(const ToolContext& tool, Outcome& outcome) override {
    Result<std::unique_ptr<Ledger>> ledger = OpenLedger(where_, false);
    if (!ledger) return ledger.error();
    Result<std::vector<Unit>> units = (*ledger)->Units("reserved");
    if (!units) return units.error();
    for (Unit unit : *units) {
      Result<StoredFields> fields = ReadFields(tool.files, Wide(unit.path));
      const std::string mac = fields ? VendorLayout::HexText(fields->mac) : "",
                        sn = fields ? ShownText(fields->sn) : "";
      if (fields && mac == unit.mac && sn == unit.sn) {
        unit.state = "written";
      } else if (fields && mac == unit.macBefore && sn == unit.snBefore) {
        unit.state = "failed";
        unit.restored = true;
      } else {
        outcome.findings = true;  // gone, unreadable or other values: stays reserved
      }
      if (unit.state != "reserved") {
        if (Result<> settled = (*ledger)->Settle(unit.id, unit.state, unit.restored); !settled)
          return settled;
      }
      if (json_) {
        Print(tool.out, Line(UnitJson(unit)));
      } else {
        Print(tool.out, UnitText(unit));
      }
    }
    return {};
  }
  bool json_ = false;
};

}  // namespace

std::vector<std::unique_ptr<Command>> AddLedger(CLI::App& app) {
  CLI::App* ledger = app.add_subcommand("ledger", "The ledger that assign hands MACs and SNs out from");
  ledger->require_subcommand(1, 1);
  std::vector<std::unique_ptr<Command>> commands;
  commands.push_back(std::make_unique<InitLedger>(*ledger));
  commands.push_back(std::make_unique<ExtendLedger>(*ledger));
  commands.push_back(std::make_unique<LedgerStatus>(*ledger));
  commands.push_back(std::make_unique<ListUnits>(*ledger));
  commands.push_back(std::make_unique<ReconcileUnits>(*ledger));
  return commands;
}
