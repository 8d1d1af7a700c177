// The ledger of one station: an SQLite file, with durable commits (WAL,
// synchronous=FULL) and write transactions that take the file's write lock
// first (BEGIN IMMEDIATE), so two assigns never interleave.
#include <sqlite3.h>

#include <functional>

#include "files/network_folder.h"
#include "files/system_files.h"
#include "files/utf8.h"
#include "ledger/ledger.h"

namespace {

Failure Refused(const std::string& why) { return SystemFailure(Wide(why)); }

// A count as people write it: 1,024.
std::string Grouped(std::uint64_t number) {
  const std::string digits = std::to_string(number);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

struct DatabaseCloser {
  void operator()(sqlite3* database) const { sqlite3_close_v2(database); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

// One statement with its values bound; Step() runs it a row at a time.
class Statement {
 public:
  Statement(sqlite3* database, const char* sql) : database_(database) {
    sqlite3_stmt* prepared = nullptr;
    status_ = sqlite3_prepare_v2(database, sql, -1, &prepared, nullptr);
    statement_.reset(prepared);
  }
  Statement& Bind(int index, std::int64_t value) {
    if (ok()) status_ = sqlite3_bind_int64(statement_.get(), index, value);
    return *this;
  }
  Statement& Bind(int index, const std::string& value) {
    if (ok()) status_ = sqlite3_bind_text(statement_.get(), index, value.c_str(), -1, SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Bind(int index, std::optional<bool> value) {
    if (ok()) {
      status_ = value ? sqlite3_bind_int(statement_.get(), index, *value)
                      : sqlite3_bind_null(statement_.get(), index);
    }
    return *this;
  }
  // True while there is a row; a failure ends the rows and is kept.
  bool Step() {
    if (!ok()) return false;
    status_ = sqlite3_step(statement_.get());
    return status_ == SQLITE_ROW;
  }
  std::int64_t Integer(int column) { return sqlite3_column_int64(statement_.get(), column); }
  std::string Text(int column) {
    const unsigned char* text = sqlite3_column_text(statement_.get(), column);
    return text ? reinterpret_cast<const char*>(text) : "";
  }
  std::optional<bool> Flag(int column) {
    if (sqlite3_column_type(statement_.get(), column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int(statement_.get(), column) != 0;
  }
  // Runs a statement without rows.
  Result<> Run() {
    Step();
    return Done();
  }
  Result<> Done() const {
    if (status_ == SQLITE_DONE || status_ == SQLITE_ROW || status_ == SQLITE_OK) return {};
    return Refused(std::string("the ledger: ") + sqlite3_errmsg(database_));
  }

 private:
  bool ok() const { return status_ == SQLITE_OK || status_ == SQLITE_ROW; }
  sqlite3* database_;
  std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement_;
  int status_ = SQLITE_OK;
};

constexpr const char* kSchema = R"(
  CREATE TABLE quorvix_ledger (version INTEGER NOT NULL);
  INSERT INTO quorvix_ledger VALUES (1);
  CREATE TABLE mac_ranges (id INTEGER PRIMARY KEY, first INTEGER NOT NULL, last INTEGER NOT NULL,
                           next INTEGER NOT NULL);
  CREATE TABLE sn_ranges (id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, width INTEGER NOT NULL,
                          first INTEGER NOT NULL, last INTEGER NOT NULL, next INTEGER NOT NULL);
  CREATE TABLE units (id INTEGER PRIMARY KEY, mac TEXT NOT NULL UNIQUE, sn TEXT NOT NULL UNIQUE,
                      path TEXT NOT NULL, station TEXT NOT NULL, host TEXT NOT NULL, time TEXT NOT NULL,
                      state TEXT NOT NULL CHECK (state IN ('reserved', 'written', 'failed')),
                      mac_before TEXT NOT NULL, sn_before TEXT NOT NULL, restored INTEGER);
)";

class SqliteLedger final : public Ledger {
 public:
  explicit SqliteLedger(sqlite3* database) : database_(database) {}

  Result<> Prepare(bool create) {
    if (Result<> set = Execute("PRAGMA busy_timeout = 10000; PRAGMA synchronous = FULL;"); !set) return set;
    if (create) return {};
    Statement version(db(), "SELECT version FROM quorvix_ledger");
    if (!version.Step()) return Refused("this file is no Quorvix ledger, or it is damaged (init makes one)");
    return {};
  }

  Result<> Init(const MacRange& macs, const SnRange& sns) override {
    if (Result<> wal = Execute("PRAGMA journal_mode = WAL"); !wal) return wal;
    return Transaction([&]() -> Result<> {
      if (Result<> made = Execute(kSchema); !made) return made;
      return AddRanges(macs, sns);
    });
  }

  Result<> Extend(const std::optional<MacRange>& macs, const std::optional<SnRange>& sns) override {
    return Transaction([&]() -> Result<> {
      if (macs) {
        Statement ranges(db(), "SELECT first, last FROM mac_ranges");
        while (ranges.Step()) {
          const MacRange had{static_cast<std::uint64_t>(ranges.Integer(0)),
                             static_cast<std::uint64_t>(ranges.Integer(1))};
          if (had.Overlaps(*macs)) {
            return Refused("the MAC range overlaps " + MacText(had.first) + "-" + MacText(had.last) +
                           ", which the ledger has");
          }
        }
        if (Result<> read = ranges.Done(); !read) return read;
      }
      if (sns) {
        Statement ranges(db(), "SELECT prefix, width, first, last FROM sn_ranges");
        while (ranges.Step()) {
          const SnRange had{ranges.Text(0), static_cast<int>(ranges.Integer(1)),
                            static_cast<std::uint64_t>(ranges.Integer(2)),
                            static_cast<std::uint64_t>(ranges.Integer(3))};
          if (had.Overlaps(*sns)) {
            return Refused("the SN range overlaps " + had.Text(had.first) + "-" + had.Text(had.last) +
                           ", which the ledger has");
          }
        }
        if (Result<> read = ranges.Done(); !read) return read;
      }
      return AddRanges(macs, sns);
    });
  }

  Result<Unit> Reserve(const Request& request) override {
    Unit unit;
    Result<> reserved = Transaction([&]() -> Result<> {
      if (!request.reassign) {
        Statement owner(db(),
                        "SELECT mac, sn, time, station FROM units WHERE state = 'written' AND "
                        "(mac = ?1 OR sn = ?2) ORDER BY id LIMIT 1");
        owner.Bind(1, request.macBefore).Bind(2, request.snBefore);
        if (owner.Step()) {
          const bool mac = owner.Text(0) == request.macBefore;
          return Refused("already holds " +
                         std::string(mac ? "MAC " + owner.Text(0) : "SN " + owner.Text(1)) + " assigned at " +
                         owner.Text(2) + " by station " + owner.Text(3) +
                         " (--reassign gives it new values)");
        }
        if (Result<> read = owner.Done(); !read) return read;
      }
      Result<std::string> mac = TakeMac();
      if (!mac) return mac.error();
      Result<std::string> sn = TakeSn();
      if (!sn) return sn.error();
      unit = Unit{0,
                  *mac,
                  *sn,
                  request.path,
                  request.station,
                  request.host,
                  request.time,
                  "reserved",
                  request.macBefore,
                  request.snBefore,
                  std::nullopt};
      Statement insert(db(),
                       "INSERT INTO units (mac, sn, path, station, host, time, state, mac_before, sn_before) "
                       "VALUES (?1, ?2, ?3, ?4, ?5, ?6, 'reserved', ?7, ?8)");
      insert.Bind(1, unit.mac).Bind(2, unit.sn).Bind(3, unit.path).Bind(4, unit.station).Bind(5, unit.host);
      insert.Bind(6, unit.time).Bind(7, unit.macBefore).Bind(8, unit.snBefore);
      if (Result<> inserted = insert.Run(); !inserted) return inserted;
      unit.id = sqlite3_last_insert_rowid(db());
      return {};
    });
    if (!reserved) return reserved.error();
    return unit;
  }

  Result<> Settle(std::int64_t unit, const std::string& state, std::optional<bool> restored) override {
    return Transaction([&]() -> Result<> {
      Statement update(db(), "UPDATE units SET state = ?1, restored = ?2 WHERE id = ?3");
      return update.Bind(1, state).Bind(2, restored).Bind(3, unit).Run();
    });
  }

  Result<Status> Summary() override {
    Status status;
    Statement macs(db(), "SELECT first, last, next FROM mac_ranges ORDER BY id");
    while (macs.Step()) {
      const auto first = static_cast<std::uint64_t>(macs.Integer(0)),
                 last = static_cast<std::uint64_t>(macs.Integer(1)),
                 next = static_cast<std::uint64_t>(macs.Integer(2));
      status.ranges.push_back({"mac", MacText(first), MacText(last), next - first, last + 1 - next});
    }
    if (Result<> read = macs.Done(); !read) return read.error();
    Statement sns(db(), "SELECT prefix, width, first, last, next FROM sn_ranges ORDER BY id");
    while (sns.Step()) {
      const SnRange range{sns.Text(0), static_cast<int>(sns.Integer(1)),
                          static_cast<std::uint64_t>(sns.Integer(2)),
                          static_cast<std::uint64_t>(sns.Integer(3))};
      const auto next = static_cast<std::uint64_t>(sns.Integer(4));
      status.ranges.push_back(
          {"sn", range.Text(range.first), range.Text(range.last), next - range.first, range.last + 1 - next});
    }
    if (Result<> read = sns.Done(); !read) return read.error();
    Statement states(db(), "SELECT state, count(*) FROM units GROUP BY state");
    while (states.Step()) {
      const std::string state = states.Text(0);
      const auto count = static_cast<std::uint64_t>(states.Integer(1));
      (state == "reserved" ? status.reserved : state == "written" ? status.written : status.failed) = count;
    }
    if (Result<> read = states.Done(); !read) return read.error();
    return status;
  }

  Result<std::vector<Unit>> Units(const std::optional<std::string>& state) override {
    Statement units(db(),
                    "SELECT id, mac, sn, path, station, host, time, state, mac_before, sn_before, restored "
                    "FROM units WHERE ?1 IS NULL OR state = ?1 ORDER BY id");
    if (state) units.Bind(1, *state);
    std::vector<Unit> found;
    while (units.Step()) {
      found.push_back({units.Integer(0), units.Text(1), units.Text(2), units.Text(3), units.Text(4),
                       units.Text(5), units.Text(6), units.Text(7), units.Text(8), units.Text(9),
                       units.Flag(10)});
    }
    if (Result<> read = units.Done(); !read) return read.error();
    return found;
  }

 private:
  sqlite3* db() const { return database_.get(); }

  Result<> Execute(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db(), sql, nullptr, nullptr, &error) == SQLITE_OK) return {};
    const std::string why = error ? error : sqlite3_errmsg(db());
    sqlite3_free(error);
    return Refused("the ledger: " + why);
  }

  // Runs work in a write transaction, committed durably when it succeeds and
  // rolled back otherwise.
  Result<> Transaction(const std::function<Result<>()>& work) {
    if (Result<> begun = Execute("BEGIN IMMEDIATE"); !begun) return begun;
    Result<> done = work();
    if (done) done = Execute("COMMIT");
    if (!done) (void)Execute("ROLLBACK");
    return done;
  }

  Result<> AddRanges(const std::optional<MacRange>& macs, const std::optional<SnRange>& sns) {
    if (macs) {
      Statement insert(db(), "INSERT INTO mac_ranges (first, last, next) VALUES (?1, ?2, ?1)");
      const Result<> added = insert.Bind(1, static_cast<std::int64_t>(macs->first))
                                 .Bind(2, static_cast<std::int64_t>(macs->last))
                                 .Run();
      if (!added) return added;
    }
    if (sns) {
      Statement insert(
          db(), "INSERT INTO sn_ranges (prefix, width, first, last, next) VALUES (?1, ?2, ?3, ?4, ?3)");
      const Result<> added = insert.Bind(1, sns->prefix)
                                 .Bind(2, std::int64_t{sns->width})
                                 .Bind(3, static_cast<std::int64_t>(sns->first))
                                 .Bind(4, static_cast<std::int64_t>(sns->last))
                                 .Run();
      if (!added) return added;
    }
    return {};
  }

  // The next value of the oldest range that has any left, taken.
  Result<std::string> TakeMac() {
    Statement next(db(), "SELECT id, next FROM mac_ranges WHERE next <= last ORDER BY id LIMIT 1");
    if (!next.Step()) {
      if (Result<> read = next.Done(); !read) return read.error();
      return Exhausted("mac_ranges", "MACs");
    }
    const std::int64_t range = next.Integer(0), value = next.Integer(1);
    Statement take(db(), "UPDATE mac_ranges SET next = next + 1 WHERE id = ?1");
    if (Result<> taken = take.Bind(1, range).Run(); !taken) return taken.error();
    return MacText(static_cast<std::uint64_t>(value));
  }

  Result<std::string> TakeSn() {
    Statement next(db(),
                   "SELECT id, prefix, width, next FROM sn_ranges WHERE next <= last ORDER BY id LIMIT 1");
    if (!next.Step()) {
      if (Result<> read = next.Done(); !read) return read.error();
      return Exhausted("sn_ranges", "SNs");
    }
    const std::int64_t range = next.Integer(0);
    const SnRange of{next.Text(1), static_cast<int>(next.Integer(2)), 0, 0};
    const auto value = static_cast<std::uint64_t>(next.Integer(3));
    Statement take(db(), "UPDATE sn_ranges SET next = next + 1 WHERE id = ?1");
    if (Result<> taken = take.Bind(1, range).Run(); !taken) return taken.error();
    return of.Text(value);
  }

  Failure Exhausted(const std::string& table, const std::string& what) {
    Statement total(db(), ("SELECT sum(last - first + 1) FROM " + table).c_str());
    const std::string count = total.Step() ? Grouped(static_cast<std::uint64_t>(total.Integer(0))) : "all";
    return Refused("every range is used up: " + count + " of " + count + " " + what +
                   " handed out (ledger extend adds a range)");
  }

  std::unique_ptr<sqlite3, DatabaseCloser> database_;
};

}  // namespace

std::string LedgerName(const std::string& where) {
  const std::size_t scheme = where.find("://"), at = where.find('@');
  if (scheme == std::string::npos || at == std::string::npos || at < scheme) return where;
  const std::size_t colon = where.find(':', scheme + 3);
  if (colon == std::string::npos || colon > at) return where;
  return where.substr(0, colon + 1) + "***" + where.substr(at);
}

Result<std::unique_ptr<Ledger>> OpenLedger(const std::string& where, bool create) {
  // Named without the URL, which may hold a password.
  if (where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0) {
    return Refused(
        "a ledger on a PostgreSQL server is not built into this quorvix-cli yet: give an SQLite file");
  }
  const std::wstring path = Wide(where);
  // SQLite's locks do not hold on a network file system.
  if (OnNetworkFileSystem(path)) {
    return Refused(where +
                   " is on a network file system, where SQLite's locking does not hold: a ledger that "
                   "several stations share belongs on a PostgreSQL server (postgresql://...)");
  }
  SystemFiles files;
  const bool exists = files.Exists(path);
  if (create && exists)
    return Failure(Failure::Cause::exists,
                   L"a file of that name is there already: init makes only a new ledger");
  if (!create && !exists) return Refused("there is no ledger at " + where + " (ledger init makes one)");
  sqlite3* opened = nullptr;
  const int status = sqlite3_open_v2(where.c_str(), &opened,
                                     SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0), nullptr);
  auto ledger = std::make_unique<SqliteLedger>(opened);
  if (status != SQLITE_OK) return Refused("the ledger: " + std::string(sqlite3_errmsg(opened)));
  if (Result<> prepared = ledger->Prepare(create); !prepared) return prepared.error();
  return std::unique_ptr<Ledger>(std::move(ledger));
}
