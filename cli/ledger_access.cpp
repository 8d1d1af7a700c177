#include "cli/ledger_access.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/messages.h"
#include "files/host.h"
#include "files/utf8.h"
#include "ledger/server_url.h"
#include "vendor/entry.h"

namespace {

constexpr char kLedgerHelp[] =
    "An SQLite file (one station), or a PostgreSQL server: "
    "postgresql://[user@]host[:port][,host[:port]...]/database[?sslmode=verify-full&sslrootcert=CA]; "
    "the password from PGPASSWORD or the password file. Left out: QUORVIX_LEDGER";

// The ledger as the command line names it, else as QUORVIX_LEDGER does.
std::optional<std::string> OnCommandLine(const LedgerArgument& argument) {
  return argument.option ? argument.option : argument.positional;
}

std::optional<std::string> Named(const LedgerArgument& argument) {
  std::optional<std::string> given = OnCommandLine(argument);
  return given ? given : EnvironmentVariable("QUORVIX_LEDGER");
}

}  // namespace

void AddLedgerArgument(CLI::App& command, LedgerArgument& argument, bool positional) {
  command.add_option("--ledger", argument.option, kLedgerHelp)->type_name("LEDGER");
  if (positional && !EnvironmentVariable("QUORVIX_LEDGER")) {
    command.add_option("LEDGER", argument.positional, kLedgerHelp);
  }
}

Result<std::string> ChosenLedger(const ToolContext& tool, const LedgerArgument& argument) {
  const std::optional<std::string> named = Named(argument);
  if (!named)
    return Refusal(L"name the ledger: LEDGER, --ledger LEDGER, or QUORVIX_LEDGER in the environment");
  // A command line is readable by every local user (ps) and stays in the
  // shell's history.
  const std::optional<std::string> given = OnCommandLine(argument);
  if (Result<ledger::ServerUrl> url = ledger::ParseServerUrl(given.value_or("")); url && url->password) {
    Say(tool.err, Severity::warning, L"",
        "a password on the command line is seen by every user of this machine: leave it out of the URL, and "
        "give it in PGPASSWORD, the password file (~/.pgpass) or a service, and the URL in QUORVIX_LEDGER");
  }
  return *named;
}

Outcome Refuse(const ToolContext& tool, const LedgerArgument& argument, const Failure& failure) {
  Say(tool.err, Severity::error, Wide(LedgerShown(argument)), Describe(failure));
  return Outcome{.trouble = true};
}

Outcome WithLedger(const ToolContext& tool, const LedgerArgument& argument, bool create,
                   const std::function<Result<>(ledger::Ledger&, Outcome&)>& work) {
  Result<std::string> where = ChosenLedger(tool, argument);
  if (!where) {
    Say(tool.err, Severity::error, L"", Describe(where.error()));
    return Outcome{.trouble = true};
  }
  Outcome outcome;
  Result<std::unique_ptr<ledger::Ledger>> opened = ledger::OpenLedger(*where, create);
  Result<> done = opened ? work(**opened, outcome) : Result<>(opened.error());
  if (!done) {
    Say(tool.err, Severity::error, Wide(ledger::LedgerName(*where)), Describe(done.error()));
    outcome |= OutcomeOf(done.error());
  }
  return outcome;
}

std::string UnitJsonLine(const ledger::Unit& unit, const Json& more) {
  std::string line =
      "{\"mac\":" + JsonText(unit.mac) + ",\"sn\":" + JsonText(unit.sn) + ",\"path\":" + JsonText(unit.path) +
      ",\"station\":" + JsonText(unit.station) + ",\"host\":" + JsonText(unit.host) +
      ",\"time\":" + JsonText(unit.time) + ",\"state\":\"" + std::string(ledger::Name(unit.state)) +
      "\",\"mac_before\":" + JsonText(unit.macBefore) + ",\"sn_before\":" + JsonText(unit.snBefore);
  if (unit.restored) line += std::string(",\"restored\":") + (*unit.restored ? "true" : "false");
  if (unit.replacedBy) line += ",\"replaced_by\":" + JsonText(*unit.replacedBy);
  line += ",\"station_time\":" + JsonText(unit.stationTime) + ",\"role\":" + JsonText(unit.role);
  if (unit.lease) line += ",\"lease\":" + JsonText(*unit.lease);
  for (const auto& [key, value] : more.items()) line += "," + JsonText(key) + ":" + JsonValue(value);
  return line + "}\n";
}

std::string UnitText(const ledger::Unit& unit) {
  // A unit from a lease was programmed while the server was away: its
  // time is when the server heard of it.
  return unit.time + "  " + std::string(ledger::Name(unit.state)) + "  MAC " + unit.mac + "  SN " + unit.sn +
         "  " + unit.path + "  (" + unit.station + ")" +
         (unit.lease ? "  programmed from its lease at " + unit.stationTime + " by the station's clock"
                     : "") +
         "\n";
}

Json ChangeJson(const ledger::Change& change) {
  Json json{{"mac", change.mac},
            {"sn", change.sn},
            {"state_before", change.before ? Json(std::string(ledger::Name(*change.before))) : Json(nullptr)},
            {"state", std::string(ledger::Name(change.state))},
            {"path", change.path},
            {"station", change.station},
            {"role", change.role},
            {"time", change.time}};
  if (!change.note.empty()) json["note"] = change.note;
  return json;
}

std::string ChangeText(const ledger::Change& change) {
  const std::string moved = change.before ? std::string(ledger::Name(*change.before)) + " -> " +
                                                std::string(ledger::Name(change.state))
                                          : std::string(change.note.empty() ? "made " : change.note + " ") +
                                                std::string(ledger::Name(change.state));
  return change.time + "  " + moved + "  " + change.path + "  (" + change.station +
         (change.role.empty() ? "" : ", role " + change.role) + ")\n";
}

std::string ReplicationText(ledger::Replication replication) {
  switch (replication) {
    case ledger::Replication::synchronous:
      return "synchronous (each commit is on a standby before it counts)";
    case ledger::Replication::asynchronous:
      return "asynchronous (a standby follows; a failover to it may hand out values twice)";
    case ledger::Replication::none:
      break;
  }
  return "none (no standby holds a copy)";
}

Result<Seconds> LedgerNow(ledger::Ledger& ledger) {
  Result<std::string> now = ledger.Now();
  if (!now) return now.error();
  if (const std::optional<Seconds> parsed = ParseIsoTime(*now)) return *parsed;
  return SystemFailure(Wide("the ledger's clock says \"" + *now + "\", which is no time"));
}

Result<> CheckStationName(const std::string& name) {
  if (!IsUtf8(name)) return Refusal(L"--station: a station's name is UTF-8 text, and this one is not");
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    // C0 and DEL are single bytes; C1, U+0080 to U+009F, is C2 80 to C2 9F.
    const bool c1 = byte == 0xC2 && static_cast<unsigned char>(name[i + 1]) < 0xA0;
    if (byte >= 0x20 && byte != 0x7F && !c1) continue;
    char code[8];
    std::snprintf(code, sizeof code, "U+%04X", c1 ? static_cast<unsigned char>(name[i + 1]) : byte);
    return Refusal(Wide(
        std::string("--station: a station's name holds no control characters, and this one holds ") + code));
  }
  return {};
}

std::vector<std::string> StateNames() {
  std::vector<std::string> names;
  for (ledger::UnitState state : ledger::kUnitStates) names.emplace_back(ledger::Name(state));
  return names;
}

std::string LedgerShown(const LedgerArgument& argument) {
  const std::optional<std::string> named = Named(argument);
  return named ? ledger::LedgerName(*named) : "";
}

std::string LedgerRecorded(const std::string& where) {
  if (!ledger::IsServerUrl(where)) return ledger::LedgerName(where);
  const Result<ledger::ServerUrl> url = ledger::ParseServerUrl(where);
  if (!url || (url->hosts.empty() && !url->database)) return "ledger server";
  std::string hosts;
  for (const ledger::ServerHost& server : url->hosts)
    hosts += (hosts.empty() ? "" : ",") + server.host.value_or("");
  return "ledger at " + hosts + "/" + url->database.value_or("");
}

std::optional<std::string> LedgerValue(const std::string& typed) {
  if (const Entered<MacEdit> mac = EnterMac(Wide(typed)); mac.edit)
    return VendorLayout::HexText(mac.edit->mac());
  if (const Entered<SnEdit> sn = EnterSn(Wide(typed)); sn.edit)
    return std::string(sn.edit->sn().begin(), sn.edit->sn().end());
  return std::nullopt;
}
