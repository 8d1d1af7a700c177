#include "ledger/lease_file.h"

#include <filesystem>

#include "files/host.h"
#include "files/network_folder.h"
#include "files/utf8.h"
#include "ledger/database.h"

namespace ledger {

namespace {

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS station (ledger TEXT NOT NULL, station TEXT NOT NULL, machine TEXT NOT NULL)",
    // Since when the server has not answered, and when it was last tried.
    "CREATE TABLE IF NOT EXISTS unreached (since TEXT NOT NULL, tried TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS leases (lease TEXT PRIMARY KEY, mac_first INTEGER NOT NULL, mac_last INTEGER "
    "NOT NULL, sn_prefix TEXT NOT NULL, sn_width INTEGER NOT NULL, sn_first INTEGER NOT NULL, sn_last "
    "INTEGER "
    "NOT NULL, used INTEGER NOT NULL DEFAULT 0, given_back INTEGER, given_back_sent INTEGER NOT NULL DEFAULT "
    "0)",
    "CREATE TABLE IF NOT EXISTS units (request TEXT PRIMARY KEY, lease TEXT NOT NULL, mac TEXT NOT NULL "
    "UNIQUE, sn TEXT NOT NULL UNIQUE, path TEXT NOT NULL, host TEXT NOT NULL, station_time TEXT NOT NULL, "
    "mac_before TEXT NOT NULL, sn_before TEXT NOT NULL, state TEXT NOT NULL, restored INTEGER, sent INTEGER "
    "NOT NULL DEFAULT 0, writing INTEGER NOT NULL DEFAULT 0, for_reconcile INTEGER NOT NULL DEFAULT 0)",
};

constexpr const char* kUnitColumns =
    "request, lease, mac, sn, path, host, station_time, mac_before, sn_before, state, restored";

Result<> Ran(const Result<std::vector<Row>>& rows) {
  if (!rows) return rows.error();
  return {};
}

}  // namespace

LeaseFile::LeaseFile(std::unique_ptr<Database> database) : db_(std::move(database)) {}
LeaseFile::LeaseFile(LeaseFile&&) noexcept = default;
LeaseFile::~LeaseFile() = default;

Result<LeaseFile> LeaseFile::Open(const std::string& path, const std::string& ledger,
                                  const std::string& station, const std::string& machine) {
  const std::wstring wide = Wide(path);
  // The file's durability is the lease's: SQLite's locks and syncs do not
  // hold on a network file system.
  if (OnNetworkFileSystem(wide))
    return Refusal(L"the lease file " + wide +
                   L" is on a network file system, where SQLite's locking does not hold: it belongs on the "
                   L"station's own disk (--lease-file)");
  std::error_code ignored;
  const std::filesystem::path file(wide);
  std::filesystem::create_directories(file.parent_path(), ignored);
  Result<std::unique_ptr<Database>> database = OpenSqlite(path, !std::filesystem::exists(file, ignored));
  if (!database)
    return Failure(database.error().cause, L"the lease file " + wide + L": " + database.error().text);
  LeaseFile lease(std::move(*database));
  lease.station_ = station;
  Database& db = *lease.db_;
  if (Result<> begun = db.Begin(true); !begun) return begun.error();
  Result<> made = [&]() -> Result<> {
    for (const char* statement : kSchema) {
      if (Result<> ran = Ran(db.Query(statement)); !ran) return ran;
    }
    Result<std::vector<Row>> serves = db.Query("SELECT ledger, station, machine FROM station");
    if (!serves) return serves.error();
    if (serves->empty())
      return Ran(db.Query("INSERT INTO station VALUES (?, ?, ?)", {ledger, station, machine}));
    const Row& row = serves->front();
    // A copy's leases are its machine's: programming from them here would
    // give their values a second time.
    if (row.Text(2) != machine)
      return Refusal(Wide("the lease file " + path +
                          " was made on another machine and copied here (or this disk is a clone): its "
                          "leases are that machine's alone, and this station programs from none of them; "
                          "give this station a lease file of its own (--lease-file)"));
    if (row.Text(0) != ledger || row.Text(1) != station)
      return Refusal(Wide("the lease file " + path + " is station " + row.Text(1) + "'s on the ledger " +
                          row.Text(0) + ", not station " + station + "'s on " + ledger +
                          ": one lease file serves one station on one ledger (--lease-file names another)"));
    return {};
  }();
  if (made) made = db.Commit();
  if (!made) {
    db.Rollback();
    return made.error();
  }
  return lease;
}

Result<std::uint64_t> LeaseFile::Left() {
  Result<std::vector<Row>> left = db_->Query(
      "SELECT coalesce(sum(mac_last - mac_first + 1 - used), 0) FROM leases WHERE given_back IS NULL");
  if (!left) return left.error();
  return static_cast<std::uint64_t>(left->front().Integer(0));
}

Result<> LeaseFile::Add(const Lease& lease) {
  return Ran(db_->Query(
      "INSERT INTO leases (lease, mac_first, mac_last, sn_prefix, sn_width, sn_first, sn_last) VALUES (?, ?, "
      "?, ?, ?, ?, ?)",
      {lease.id, static_cast<std::int64_t>(lease.macs.first), static_cast<std::int64_t>(lease.macs.last),
       lease.sns.prefix, std::int64_t{lease.sns.width}, static_cast<std::int64_t>(lease.sns.first),
       static_cast<std::int64_t>(lease.sns.last)}));
}

Result<std::optional<LeasedUnit>> LeaseFile::Take(const Request& request) {
  if (Result<> begun = db_->Begin(true); !begun) return begun.error();
  std::optional<LeasedUnit> taken;
  Result<> done = [&]() -> Result<> {
    Result<std::vector<Row>> next = db_->Query(
        "SELECT lease, mac_first, mac_last, sn_prefix, sn_width, sn_first, used FROM leases WHERE given_back "
        "IS "
        "NULL AND used <= mac_last - mac_first ORDER BY rowid LIMIT 1");
    if (!next) return next.error();
    if (next->empty()) return {};
    const Row& row = next->front();
    const auto number = [&](std::size_t column) { return static_cast<std::uint64_t>(row.Integer(column)); };
    const std::uint64_t used = number(6);
    const MacRange macs{number(1), number(2)};
    const SnRange sns{row.Text(3), static_cast<int>(row.Integer(4)), number(5), number(5)};
    LeasedUnit unit{request,
                    row.Text(0),
                    macs.Text(macs.first + used),
                    sns.Text(sns.first + used),
                    UnitState::reserved,
                    std::nullopt};
    if (Result<> moved = Ran(db_->Query("UPDATE leases SET used = used + 1 WHERE lease = ?", {unit.lease}));
        !moved)
      return moved;
    if (Result<> noted = Ran(db_->Query(std::string("INSERT INTO units (") + kUnitColumns +
                                            ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 'reserved', NULL)",
                                        {request.id, unit.lease, unit.mac, unit.sn, request.path,
                                         request.host, request.time, request.macBefore, request.snBefore}));
        !noted)
      return noted;
    taken = unit;
    return {};
  }();
  if (done) done = db_->Commit();
  if (!done) {
    db_->Rollback();
    return done.error();
  }
  return taken;
}

Result<std::vector<LeasedUnit>> LeaseFile::Units(const std::string& where,
                                                 const std::vector<std::string>& values) {
  std::vector<Parameter> parameters(values.begin(), values.end());
  Result<std::vector<Row>> rows =
      db_->Query(std::string("SELECT ") + kUnitColumns + ", writing, for_reconcile FROM units WHERE " +
                     where + " ORDER BY rowid",
                 parameters);
  if (!rows) return rows.error();
  std::vector<LeasedUnit> units;
  for (const Row& row : *rows) {
    LeasedUnit& unit = units.emplace_back();
    unit.request.id = row.Text(0);
    unit.lease = row.Text(1);
    unit.mac = row.Text(2);
    unit.sn = row.Text(3);
    unit.request.path = row.Text(4);
    unit.request.station = station_;
    unit.request.host = row.Text(5);
    unit.request.time = row.Text(6);
    unit.request.macBefore = row.Text(7);
    unit.request.snBefore = row.Text(8);
    unit.state = ParseUnitState(row.Text(9)).value_or(UnitState::reserved);
    if (const std::optional<std::int64_t> restored = row.Optional(10)) unit.restored = *restored != 0;
    unit.writing = row.Integer(11) != 0;
    unit.forReconcile = row.Integer(12) != 0;
  }
  return units;
}

Result<std::optional<LeasedUnit>> LeaseFile::Reserved(const std::string& path) {
  Result<std::vector<LeasedUnit>> units =
      Units("state = 'reserved' AND for_reconcile = 0 AND path = ?", {path});
  if (!units) return units.error();
  if (units->empty()) return std::optional<LeasedUnit>();
  return std::optional<LeasedUnit>(units->front());
}

Result<> LeaseFile::Writing(const std::string& request) {
  return Ran(db_->Query("UPDATE units SET writing = 1 WHERE request = ?", {request}));
}

Result<> LeaseFile::ForReconcile(const std::string& request) {
  return Ran(
      db_->Query("UPDATE units SET for_reconcile = 1 WHERE request = ? AND state = 'reserved'", {request}));
}

Result<std::optional<LeasedUnit>> LeaseFile::Holding(const std::string& mac, const std::string& sn) {
  Result<std::vector<LeasedUnit>> units = Units("mac = ? OR sn = ?", {mac, sn});
  if (!units) return units.error();
  if (units->empty()) return std::optional<LeasedUnit>();
  return std::optional<LeasedUnit>(units->front());
}

Result<> LeaseFile::Settle(const std::string& request, UnitState state, std::optional<bool> restored) {
  Parameter flag = nullptr;
  if (restored) flag = std::int64_t{*restored};
  return Ran(db_->Query("UPDATE units SET state = ?, restored = ? WHERE request = ? AND state = 'reserved'",
                        {std::string(Name(state)), flag, request}));
}

Result<std::vector<LeasedUnit>> LeaseFile::Waiting() { return Units("sent = 0", {}); }

Result<> LeaseFile::Sent(const std::string& request) {
  return Ran(db_->Query("UPDATE units SET sent = 1 WHERE request = ?", {request}));
}

Result<std::vector<GivenBack>> LeaseFile::GiveBack() {
  if (Result<> given = Ran(db_->Query("UPDATE leases SET given_back = used WHERE given_back IS NULL"));
      !given)
    return given.error();
  return ToGiveBack();
}

Result<std::vector<GivenBack>> LeaseFile::ToGiveBack() {
  Result<std::vector<Row>> rows = db_->Query(
      "SELECT lease, given_back FROM leases WHERE given_back IS NOT NULL AND given_back_sent = 0 ORDER BY "
      "rowid");
  if (!rows) return rows.error();
  std::vector<GivenBack> given;
  for (const Row& row : *rows) given.push_back({row.Text(0), static_cast<std::uint64_t>(row.Integer(1))});
  return given;
}

Result<> LeaseFile::GivenBackSent(const std::string& lease) {
  return Ran(db_->Query("UPDATE leases SET given_back_sent = 1 WHERE lease = ?", {lease}));
}

Result<std::vector<std::string>> LeaseFile::InUse() {
  Result<std::vector<Row>> rows =
      db_->Query("SELECT lease FROM leases WHERE given_back IS NULL ORDER BY rowid");
  if (!rows) return rows.error();
  std::vector<std::string> leases;
  for (const Row& row : *rows) leases.push_back(row.Text(0));
  return leases;
}

Result<> LeaseFile::Withdrawn(const std::string& lease) {
  return Ran(db_->Query("UPDATE leases SET given_back = used, given_back_sent = 1 WHERE lease = ?", {lease}));
}

// The station's own clock: how long ago it last tried is all that counts,
// and a clock set back makes it try at once.
Result<std::optional<std::string>> LeaseFile::Unanswered() {
  Result<std::vector<Row>> rows = db_->Query(
      "SELECT since FROM unreached WHERE julianday('now') - julianday(tried) BETWEEN 0 AND 60.0 / 86400");
  if (!rows) return rows.error();
  if (rows->empty()) return std::optional<std::string>();
  return std::optional<std::string>(rows->front().Text(0));
}

Result<> LeaseFile::NotAnswered() {
  if (Result<> begun = db_->Begin(true); !begun) return begun;
  const std::string now = "strftime('%Y-%m-%dT%H:%M:%SZ', 'now')";
  Result<> noted = Ran(db_->Query("UPDATE unreached SET tried = " + now));
  if (noted)
    noted = Ran(db_->Query("INSERT INTO unreached SELECT " + now + ", " + now +
                           " WHERE NOT EXISTS (SELECT 1 FROM unreached)"));
  if (noted) noted = db_->Commit();
  if (!noted) db_->Rollback();
  return noted;
}

Result<> LeaseFile::Answered() { return Ran(db_->Query("DELETE FROM unreached")); }

std::string DefaultLeaseFile() {
#ifdef _WIN32
  return EnvironmentVariable("ProgramData").value_or("C:\\ProgramData") + "\\Quorvix\\lease.db";
#else
  return "/var/lib/quorvix/lease.db";
#endif
}

}  // namespace ledger
