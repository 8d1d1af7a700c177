// ledger find: the units that have a MAC or SN as their values or as their
// values before, for support holding a returned device: when and where it
// was programmed, what it held before, whether it got new values since.
// Exit 0 when each value was found, 1 when one was not, as grep.
#include <set>

#include "cli/commands.h"
#include "cli/ledger_access.h"
#include "cli/messages.h"
#include "files/utf8.h"

namespace {

struct FindOptions {
  LedgerArgument ledger;
  std::vector<std::string> values;
  bool json = false;
};

// The unit with what support asks of it: the values it replaced, its host, and what replaced it.
std::string Details(const ledger::Unit& unit) {
  std::string details = "    before MAC " + unit.macBefore + ", SN " + unit.snBefore + "; host " + unit.host;
  if (unit.restored)
    details += *unit.restored ? "; the old fields were put back" : "; the old fields are not back";
  if (unit.replacedBy) details += "; replaced by the unit of MAC " + *unit.replacedBy;
  return details + "\n";
}

Outcome RunFind(const ToolContext& tool, const FindOptions& options) {
  std::vector<std::string> values;
  for (const std::string& typed : options.values) {
    std::optional<std::string> value = LedgerValue(typed);
    if (!value)
      return Refuse(tool, options.ledger, Refusal(Wide("\"" + typed + "\" is neither a MAC nor an SN")));
    values.push_back(*value);
  }
  return WithLedger(tool, options.ledger, false, [&](ledger::Ledger& ledger, Outcome& outcome) -> Result<> {
    std::set<std::int64_t> shown;  // in JSON, each unit once
    for (const std::string& value : values) {
      ledger::UnitFilter filter;
      filter.values = {value};
      bool found = false;
      Result<> listed = ledger.EachUnit(filter, [&](const ledger::Unit& unit) -> Result<> {
        if (!found && !options.json) Print(tool.out, value + ":\n");
        found = true;
        if (!options.json) Print(tool.out, "  " + UnitText(unit) + Details(unit));
        if (options.json && !shown.insert(unit.id).second) return {};
        ledger::UnitFilter itself;
        itself.unit = unit.id;
        Json history = Json::array();
        Result<> changes = ledger.EachChange(itself, [&](const ledger::Change& change) -> Result<> {
          if (options.json) {
            history.push_back(ChangeJson(change));
          } else {
            Print(tool.out, "      " + ChangeText(change));
          }
          return {};
        });
        if (!changes) return changes;
        if (options.json) Print(tool.out, UnitJsonLine(unit, Json{{"history", history}}));
        return {};
      });
      if (!listed) return listed;
      if (!found) {
        if (!options.json) Print(tool.out, value + ": no unit has it\n");
        outcome.findings = true;
      }
    }
    return {};
  });
}

void DeclareFind(CLI::App& find, Work& work) {
  auto options = std::make_shared<FindOptions>();
  AddLedgerArgument(find, options->ledger, true);
  find.add_option("VALUE", options->values, "A MAC (as set takes it) or an SN")->required();
  find.add_flag("--json", options->json, "One JSON object per unit and line (JSON Lines)");
  RunsWith(find, work, options, RunFind);
}

}  // namespace

const Command kLedgerFind{
    "find", "The units that have a MAC or SN, as their values or before: state, station, time, path, history",
    DeclareFind};
