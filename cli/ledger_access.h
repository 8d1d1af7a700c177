#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/json.h"
#include "cli/tool.h"
#include "files/clock.h"
#include "ledger/ledger.h"

namespace CLI {
class App;
}

// What assign and the ledger commands share: which ledger they work on,
// opening it, and a unit as text and as JSON.

// Which ledger a command was given: --ledger LEDGER, or a ledger command's
// first argument; left out, QUORVIX_LEDGER names it. Where QUORVIX_LEDGER
// is set, a ledger command takes no LEDGER argument: --ledger names another.
struct LedgerArgument {
  std::optional<std::string> option, positional;
};

// Declares --ledger on command; and LEDGER, its first argument, for a
// ledger command when QUORVIX_LEDGER names none.
void AddLedgerArgument(CLI::App& command, LedgerArgument& argument, bool positional);

// Opens the ledger given, says why not, and runs work on it; the work's
// failure is said the same way, naming the ledger (exit 2, or 3 to try
// again). A password written into a URL on the command line gets a warning.
Outcome WithLedger(const ToolContext& tool, const LedgerArgument& argument, bool create,
                   const std::function<Result<>(ledger::Ledger&, Outcome&)>& work);

// Where the ledger given is: a path or a URL; a usage failure when none is named.
Result<std::string> ChosenLedger(const ToolContext& tool, const LedgerArgument& argument);

// Says a failure before the ledger is opened as the ledger's own are said (exit 2).
Outcome Refuse(const ToolContext& tool, const LedgerArgument& argument, const Failure& failure);

// Refuses a station's name that is not UTF-8 or holds a control character:
// the name is in every unit's record, the exports a spreadsheet opens and the
// report a browser shows, where such a character hides or fakes text.
Result<> CheckStationName(const std::string& name);

// A value as the ledger keeps it: a MAC in any form set takes, as twelve
// hexadecimal digits, or an SN; nothing for neither.
std::optional<std::string> LedgerValue(const std::string& typed);

// The states a unit can be in, as the command line names them.
std::vector<std::string> StateNames();

// The ledger given, as messages name it; empty when none is named.
std::string LedgerShown(const LedgerArgument& argument);

// A ledger as a call's record names it (its error, in --json and --log):
// a file by its path, a server by its host and database, never by its URL.
std::string LedgerRecorded(const std::string& where);

// A unit as one JSON line (the keys of ledger list, then those of more),
// written field by field: a listing of a million units takes seconds; and as
// a line for people.
std::string UnitJsonLine(const ledger::Unit& unit, const Json& more = Json::object());
std::string UnitText(const ledger::Unit& unit);

// A change of a unit, from its history: as a JSON object (the unit named by
// its MAC and SN) and as a line for people.
Json ChangeJson(const ledger::Change& change);
std::string ChangeText(const ledger::Change& change);

// The ledger's replication as status and the report say it, with what it
// means for a failover.
std::string ReplicationText(ledger::Replication replication);

// The time now by the ledger's clock: a server's, where there is one.
Result<Seconds> LedgerNow(ledger::Ledger& ledger);
