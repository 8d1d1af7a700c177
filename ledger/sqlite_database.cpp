// The ledger of one station: an SQLite file, with durable commits (WAL,
// synchronous=FULL) and write transactions that take the file's write lock
// first (BEGIN IMMEDIATE), waiting up to 10 s for another process's.
#include <sqlite3.h>

#include "files/system_files.h"
#include "files/utf8.h"
#include "ledger/database.h"

namespace ledger {

namespace {

struct DatabaseCloser {
  void operator()(sqlite3* database) const { sqlite3_close_v2(database); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

class SqliteDatabase final : public Database {
 public:
  explicit SqliteDatabase(sqlite3* database) : database_(database) {}

  Result<std::vector<Row>> Query(const std::string& sql, const std::vector<Parameter>& parameters) override {
    sqlite3_stmt* prepared = nullptr;
    int status = sqlite3_prepare_v2(db(), sql.c_str(), -1, &prepared, nullptr);
    const std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement(prepared);
    for (int i = 0; status == SQLITE_OK && i < static_cast<int>(parameters.size()); ++i) {
      status = std::visit(
          [&](const auto& value) {
            using Type = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Type, std::int64_t>)
              return sqlite3_bind_int64(prepared, i + 1, value);
            if constexpr (std::is_same_v<Type, std::string>)
              return sqlite3_bind_text(prepared, i + 1, value.c_str(), -1, SQLITE_TRANSIENT);
            return sqlite3_bind_null(prepared, i + 1);
          },
          parameters[i]);
    }
    std::vector<Row> rows;
    while (status == SQLITE_OK || status == SQLITE_ROW) {
      status = sqlite3_step(prepared);
      if (status != SQLITE_ROW) break;
      Row& row = rows.emplace_back();
      for (int column = 0; column < sqlite3_column_count(prepared); ++column) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(prepared, column));
        row.columns.push_back(text ? std::optional<std::string>(text) : std::nullopt);
      }
    }
    if (status != SQLITE_DONE) return Said();
    return rows;
  }

  Result<> Begin(bool) override { return Run("BEGIN IMMEDIATE"); }
  Result<> Commit() override { return Run("COMMIT"); }
  void Rollback() override { (void)Run("ROLLBACK"); }
  std::string IdColumn() const override { return "INTEGER PRIMARY KEY"; }
  std::vector<std::string> UnitsFromVersion1(const std::string& createUnits) const override {
    // SQLite changes no table's constraints: the table is made anew.
    return {
        "ALTER TABLE units RENAME TO units_version1", createUnits,
        "INSERT INTO units (id, mac, sn, path, station, host, time, state, mac_before, sn_before, restored) "
        "SELECT id, mac, sn, path, station, host, time, state, mac_before, sn_before, restored FROM "
        "units_version1",
        "DROP TABLE units_version1"};
  }

  // The station's clock is the only one.
  std::string NowSql() const override { return "strftime('%Y-%m-%dT%H:%M:%SZ', 'now')"; }
  std::string RoleSql() const override { return "''"; }
  std::string OwnerSql() const override { return "TRUE"; }
  std::string MacTextSql(const std::string& number) const override {
    return "printf('%012X', " + number + ")";
  }
  std::string DigitsSql(const std::string& number, const std::string& width) const override {
    return "printf('%0*d', " + width + ", " + number + ")";
  }
  std::string ReplicationSql() const override { return "SELECT 'none'"; }
  std::vector<std::string> Guards(const std::vector<RowRule>& rules) const override {
    std::vector<std::string> statements = RuleTriggers(rules, false);
    const std::string written =
        "INSERT INTO history (unit, state_before, state, path, station, role, time) "
        "VALUES (NEW.id, {before}, NEW.state, NEW.path, NEW.station, '', " +
        NowSql() + "); END";
    const auto history = [&](const std::string& before) {
      return std::string(written).replace(written.find("{before}"), 8, before);
    };
    statements.push_back("CREATE TRIGGER units_history_made AFTER INSERT ON units BEGIN " + history("NULL"));
    statements.push_back(
        "CREATE TRIGGER units_history_changed AFTER UPDATE ON units WHEN NEW.state IS NOT OLD.state OR "
        "NEW.path IS NOT OLD.path BEGIN " +
        history("OLD.state"));
    return statements;
  }
  std::vector<std::string> RenewedGuards(const std::vector<RowRule>& rules,
                                         const std::vector<std::string>&) const override {
    return RuleTriggers(rules, true);
  }
  // Who may change an SQLite ledger is who may write its file.
  Result<> GrantStation(const std::string&) override {
    return Refusal(
        L"an SQLite ledger has no roles: who may change it is who may write its file (its permissions)");
  }

  Result<> Run(const std::string& sql) {
    if (Result<std::vector<Row>> done = Query(sql, {}); !done) return done.error();
    return {};
  }

  // What SQLite said; a ledger another process held past the busy timeout
  // may be free the next time.
  Failure Said() const {
    const int code = sqlite3_errcode(db()) & 0xFF;
    const std::wstring text = Wide("the ledger: " + std::string(sqlite3_errmsg(db())));
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) return Failure(Failure::Cause::retry, text);
    return SystemFailure(text);
  }

 private:
  // A trigger per rule, named by its place; renewed, each drops the one of
  // its name first.
  static std::vector<std::string> RuleTriggers(const std::vector<RowRule>& rules, bool renew) {
    std::vector<std::string> statements;
    for (std::size_t i = 0; i < rules.size(); ++i) {
      const RowRule& rule = rules[i];
      const std::string name = rule.table + "_rule" + std::to_string(i + 1);
      std::string why;
      for (const char c : rule.why) why += c == '\'' ? "''" : std::string(1, c);
      if (renew) statements.push_back("DROP TRIGGER IF EXISTS " + name);
      statements.push_back("CREATE TRIGGER " + name + " BEFORE " + rule.event + " ON " + rule.table +
                           " FOR EACH ROW WHEN " + rule.refusedWhen + " BEGIN SELECT RAISE(ABORT, '" + why +
                           "'); END");
    }
    return statements;
  }

  sqlite3* db() const { return database_.get(); }
  std::unique_ptr<sqlite3, DatabaseCloser> database_;
};

}  // namespace

Result<std::unique_ptr<Database>> OpenSqlite(const std::string& path, bool create) {
  SystemFiles files;
  const bool exists = files.Exists(Wide(path));
  if (create && exists)
    return Failure(Failure::Cause::exists,
                   L"a file of that name is there already: init makes only a new ledger");
  if (!create && !exists) return Refusal(L"there is no ledger there");
  sqlite3* opened = nullptr;
  const int status = sqlite3_open_v2(path.c_str(), &opened,
                                     SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0), nullptr);
  auto database = std::make_unique<SqliteDatabase>(opened);
  if (status != SQLITE_OK) return database->Said();
  for (const char* setting : {"PRAGMA busy_timeout = 10000", "PRAGMA synchronous = FULL"}) {
    if (Result<> set = database->Run(setting); !set) return set.error();
  }
  if (create) {
    if (Result<> wal = database->Run("PRAGMA journal_mode = WAL"); !wal) return wal.error();
  }
  return std::unique_ptr<Database>(std::move(database));
}

}  // namespace ledger
