// On a server, a station's role may take values, record units and read; the
// ledger's owner alone may make it, extend it and grant roles. Row rules are
// triggers, which hold for the owner too: an owner's mistaken script cannot
// move a counter back or delete a unit either. Functions run with the
// ledger's own schema as their search path, so no object a session makes
// elsewhere can stand in for a ledger table.
#include "ledger/server_rules.h"

namespace ledger {

namespace {

// SQL text as a string literal.
std::string Literal(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? "''" : std::string(1, c);
  return quoted + "'";
}

// Functions made after this take the ledger's schema, and pg_temp last, as
// their search path (SET search_path FROM CURRENT).
constexpr char kLedgerSearchPath[] =
    "SELECT set_config('search_path', quote_ident(current_schema()) || ', pg_temp', true)";

// A unit's time is the server's, and its role the one connected: neither is
// the station's to say.
constexpr char kStamped[] =
    "CREATE FUNCTION quorvix_unit_stamped() RETURNS trigger LANGUAGE plpgsql SET search_path FROM CURRENT AS "
    "$$BEGIN NEW.time := {now}; NEW.role := session_user; RETURN NEW; END$$";

// The history is written by the ledger's owner on behalf of whoever changed
// the unit: a station's role can read it, never write it.
constexpr char kHistory[] =
    "CREATE FUNCTION quorvix_unit_history() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
    "SET search_path FROM CURRENT AS $$BEGIN "
    "IF TG_OP = 'UPDATE' AND NEW.state = OLD.state AND NEW.path = OLD.path THEN RETURN NULL; END IF; "
    "INSERT INTO history (unit, state_before, state, path, station, role, time) VALUES (NEW.id, "
    "CASE WHEN TG_OP = 'UPDATE' THEN OLD.state END, NEW.state, NEW.path, NEW.station, session_user, {now}); "
    "RETURN NULL; END$$";

std::string WithNow(std::string text) {
  const std::string mark = "{now}";
  for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
    text.replace(at, mark.size(), kServerNow);
  return text;
}

constexpr const char* kTables[] = {"quorvix_ledger", "mac_ranges", "sn_ranges", "units",
                                   "history",        "leases",     "lease_ends"};

std::string KeptTrigger(const std::string& table) {
  return "CREATE TRIGGER " + table + "_kept BEFORE TRUNCATE ON " + table +
         " FOR EACH STATEMENT EXECUTE FUNCTION quorvix_kept()";
}

// A function and a trigger per rule, named by its place; renewed, the
// function is replaced and the trigger made again.
std::vector<std::string> RuleTriggers(const std::vector<RowRule>& rules, bool renew) {
  std::vector<std::string> statements;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const RowRule& rule = rules[i];
    const std::string trigger = rule.table + "_rule" + std::to_string(i + 1);
    const std::string name = "quorvix_" + trigger;
    statements.push_back(
        std::string(renew ? "CREATE OR REPLACE FUNCTION " : "CREATE FUNCTION ") + name +
        "() RETURNS trigger LANGUAGE plpgsql SET search_path FROM CURRENT AS $$BEGIN IF " + rule.refusedWhen +
        " THEN RAISE EXCEPTION USING MESSAGE = " + Literal(rule.why) +
        ", ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; "
        "RETURN NEW; END$$");
    if (renew) statements.push_back("DROP TRIGGER IF EXISTS " + trigger + " ON " + rule.table);
    statements.push_back("CREATE TRIGGER " + trigger + " BEFORE " + rule.event + " ON " + rule.table +
                         " FOR EACH ROW EXECUTE FUNCTION " + name + "()");
  }
  return statements;
}

}  // namespace

std::vector<std::string> ServerGuards(const std::vector<RowRule>& rules) {
  std::vector<std::string> statements = {
      kLedgerSearchPath,
      "CREATE FUNCTION quorvix_kept() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RAISE EXCEPTION "
      "'the ledger keeps every row: % of % is refused', TG_OP, TG_TABLE_NAME; END$$",
  };
  for (const char* table : kTables) statements.push_back(KeptTrigger(table));
  const std::vector<std::string> triggers = RuleTriggers(rules, false);
  statements.insert(statements.end(), triggers.begin(), triggers.end());
  statements.push_back(WithNow(kStamped));
  statements.push_back(
      "CREATE TRIGGER units_stamped BEFORE INSERT ON units FOR EACH ROW EXECUTE FUNCTION "
      "quorvix_unit_stamped()");
  statements.push_back(WithNow(kHistory));
  statements.push_back(
      "CREATE TRIGGER units_history AFTER INSERT OR UPDATE ON units FOR EACH ROW EXECUTE FUNCTION "
      "quorvix_unit_history()");
  return statements;
}

std::vector<std::string> ServerRenewedGuards(const std::vector<RowRule>& rules,
                                             const std::vector<std::string>& tables) {
  std::vector<std::string> statements = {kLedgerSearchPath};
  for (const std::string& table : tables) statements.push_back(KeptTrigger(table));
  const std::vector<std::string> triggers = RuleTriggers(rules, true);
  statements.insert(statements.end(), triggers.begin(), triggers.end());
  return statements;
}

std::string ServerStationGrants() {
  // Connecting, and making temporary tables, are PUBLIC's by default; so is
  // CREATE on the public schema in a cluster first made before PostgreSQL 15.
  return "DO $$DECLARE grantee text := current_setting('quorvix.grantee'); BEGIN "
         "EXECUTE format('REVOKE ALL ON DATABASE %I FROM PUBLIC', current_database()); "
         "EXECUTE format('REVOKE CREATE ON SCHEMA %I FROM PUBLIC', current_schema()); "
         "IF current_schema() <> 'public' AND to_regnamespace('public') IS NOT NULL THEN "
         "REVOKE CREATE ON SCHEMA public FROM PUBLIC; END IF; "
         // Whatever the role was given before, by hand, goes: a station's role
         // that could move the version on would lock every station out.
         "EXECUTE format('REVOKE ALL ON quorvix_ledger, mac_ranges, sn_ranges, units, history, leases, "
         "lease_ends FROM %I', "
         "grantee); "
         "EXECUTE format('GRANT CONNECT ON DATABASE %I TO %I', current_database(), grantee); "
         "EXECUTE format('GRANT USAGE ON SCHEMA %I TO %I', current_schema(), grantee); "
         "EXECUTE format('GRANT SELECT ON quorvix_ledger, mac_ranges, sn_ranges, units, history, leases, "
         "lease_ends TO %I', "
         "grantee); "
         "EXECUTE format('GRANT UPDATE (next) ON mac_ranges, sn_ranges TO %I', grantee); "
         "EXECUTE format('GRANT INSERT (mac, sn, path, station, host, time, station_time, state, mac_before, "
         "sn_before, request, lease) ON units TO %I', grantee); "
         // A lease is taken with a unit; it never changes after.
         "EXECUTE format('GRANT INSERT (lease, station, role, machine, mac_first, mac_last, sn_prefix, "
         "sn_width, "
         "sn_first, sn_last, time) ON leases TO %I', grantee); "
         // Giving a lease back is an end of it, recorded once.
         "EXECUTE format('GRANT INSERT (lease, kind, used, role, time) ON lease_ends TO %I', grantee); "
         "EXECUTE format('GRANT UPDATE (state, path, restored, replaced_by) ON units TO %I', grantee); "
         "END$$";
}

}  // namespace ledger
