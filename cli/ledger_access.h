#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/exit_codes.h"
#include "cli/json.h"
#include "cli/tool.h"
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

// A unit as one JSON object (the keys of ledger list) and as a line for people.
Json UnitJson(const ledger::Unit& unit);
std::string UnitText(const ledger::Unit& unit);
