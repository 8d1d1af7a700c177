// The ledger's rules, the same on every database: values taken in order from
// the oldest range that has any left, in transactions that hold the ledger's
// write lock, so two assigns never interleave; unique MACs and SNs besides.
// Recording how a unit's write ended changes that unit's row, and only while
// it is reserved (or failed, for a write found to have landed), so no written
// unit is ever written over; a unit written replaces, in the same
// transaction, the units whose values its file held before, so a device is
// counted once, and as what it carries. The database itself keeps these
// rules on its rows, whoever writes them (RowRules), and every change of a
// unit in an append-only history.
#include <algorithm>
#include <charconv>
#include <functional>

#include "files/clock.h"
#include "files/utf8.h"
#include "ledger/database.h"
#include "ledger/ledger.h"
#include "ledger/refused.h"

namespace ledger {

std::int64_t Row::Integer(std::size_t column) const {
  const std::string text = Text(column);
  std::int64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::optional<std::int64_t> Row::Optional(std::size_t column) const {
  if (!columns.at(column)) return std::nullopt;
  return Integer(column);
}

std::string_view Name(UnitState state) {
  switch (state) {
    case UnitState::reserved:
      return "reserved";
    case UnitState::written:
      return "written";
    case UnitState::failed:
      return "failed";
    case UnitState::replaced:
      return "replaced";
  }
  return "reserved";
}

std::optional<UnitState> ParseUnitState(std::string_view name) {
  for (UnitState state : kUnitStates) {
    if (Name(state) == name) return state;
  }
  return std::nullopt;
}

std::optional<std::chrono::sys_seconds> RunsOut(const RangeSummary& range, std::chrono::sys_seconds now) {
  using namespace std::chrono;
  if (range.left == 0) return now;
  if (range.lastDay == 0) return std::nullopt;
  // Whole days first: a block of millions of MACs at a few a day lies tens
  // of thousands of years ahead, past any year a date can name, and its
  // seconds past what 64 bits hold.
  const std::uint64_t whole = range.left / range.lastDay;
  if (now >= kLatestRunOut || whole >= static_cast<std::uint64_t>(floor<days>(kLatestRunOut - now).count()))
    return kLatestRunOut;
  const std::uint64_t rest = range.left % range.lastDay * 86400 / range.lastDay;
  return std::min(kLatestRunOut, now + days(whole) + seconds(rest));
}

namespace {

constexpr int kVersion = 4;
constexpr int kPage = 2000;  // units read at a time: a listing's memory stays flat

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

std::uint64_t Count(const Row& row, std::size_t column) {
  return static_cast<std::uint64_t>(row.Integer(column));
}

std::string StateText(UnitState state) { return std::string(Name(state)); }

// The two kinds of range, each in a table of its own: what differs between
// them, so that the rules are written once.
struct MacTable {
  using Range = MacRange;
  static constexpr RangeSummary::Kind kKind = RangeSummary::Kind::mac;
  static constexpr const char* kTable = "mac_ranges";
  static constexpr const char* kColumns = "first, last";  // what a range is, besides its next value
  static constexpr const char* kNoun = "MAC";
  static MacRange Of(const Row& row, std::size_t at) { return {Count(row, at), Count(row, at + 1)}; }
  static std::vector<Parameter> Values(const MacRange& range) {
    return {static_cast<std::int64_t>(range.first), static_cast<std::int64_t>(range.last)};
  }
};

struct SnTable {
  using Range = SnRange;
  static constexpr RangeSummary::Kind kKind = RangeSummary::Kind::sn;
  static constexpr const char* kTable = "sn_ranges";
  static constexpr const char* kColumns = "prefix, width, first, last";
  static constexpr const char* kNoun = "SN";
  static SnRange Of(const Row& row, std::size_t at) {
    return {row.Text(at), static_cast<int>(row.Integer(at + 1)), Count(row, at + 2), Count(row, at + 3)};
  }
  static std::vector<Parameter> Values(const SnRange& range) {
    return {range.prefix, std::int64_t{range.width}, static_cast<std::int64_t>(range.first),
            static_cast<std::int64_t>(range.last)};
  }
};

std::string StateList() {
  std::string list;
  for (UnitState state : kUnitStates) list += (list.empty() ? "'" : ", '") + StateText(state) + "'";
  return list;
}

// The units table of the second version.
std::string UnitsTable(const std::string& id) {
  return "CREATE TABLE units (id " + id +
         ", mac TEXT NOT NULL UNIQUE, sn TEXT NOT NULL UNIQUE, path TEXT NOT NULL, station TEXT NOT NULL, "
         "host TEXT NOT NULL, time TEXT NOT NULL, state TEXT NOT NULL CHECK (state IN (" +
         StateList() +
         ")), mac_before TEXT NOT NULL, sn_before TEXT NOT NULL, restored INTEGER, replaced_by BIGINT)";
}

// What finding a unit by its values before, and counting by time, needs.
const std::vector<std::string> kUnitIndexes = {
    "CREATE INDEX units_mac_before ON units (mac_before)",
    "CREATE INDEX units_sn_before ON units (sn_before)",
    "CREATE INDEX units_time ON units (time)",
    "CREATE INDEX units_station ON units (station, state)",
};

// The tables of the second version; the third's steps follow.
std::vector<std::string> Version2(const std::string& id) {
  std::vector<std::string> schema = {
      "CREATE TABLE quorvix_ledger (version INTEGER NOT NULL)",
      "INSERT INTO quorvix_ledger VALUES (2)",
      "CREATE TABLE mac_ranges (id " + id +
          ", first BIGINT NOT NULL, last BIGINT NOT NULL, next BIGINT NOT NULL)",
      "CREATE TABLE sn_ranges (id " + id +
          ", prefix TEXT NOT NULL, width INTEGER NOT NULL, first BIGINT NOT NULL, last BIGINT NOT NULL, "
          "next BIGINT NOT NULL)",
      UnitsTable(id),
  };
  schema.insert(schema.end(), kUnitIndexes.begin(), kUnitIndexes.end());
  return schema;
}

// The rules the database keeps on the ledger's rows, whoever writes them.
// A value goes to a unit only as a range's counter gives it: the unit's MAC
// and SN are those the counters just moved past, so no value is made up,
// and none is given twice, since a counter never moves back and no unit is
// deleted.
std::vector<RowRule> RowRules(const Database& db) {
  const std::string always = "TRUE";
  const auto changed = [](std::initializer_list<const char*> columns) {
    std::string any;
    for (const char* column : columns)
      any += std::string(any.empty() ? "" : " OR ") + "NEW." + column + " IS DISTINCT FROM OLD." + column;
    return any;
  };
  const std::string moved =
      "NOT ((NEW.state = OLD.state AND NEW.path = OLD.path AND NEW.restored IS NOT DISTINCT FROM "
      "OLD.restored "
      "AND NEW.replaced_by IS NOT DISTINCT FROM OLD.replaced_by) "
      "OR (OLD.state = 'reserved' AND NEW.state = 'failed' AND NEW.path = OLD.path AND NEW.replaced_by IS "
      "NULL) "
      "OR (OLD.state IN ('reserved', 'failed') AND NEW.state = 'written' AND NEW.replaced_by IS NULL) "
      "OR (OLD.state <> 'replaced' AND NEW.state = 'replaced' AND NEW.path = OLD.path "
      "AND NEW.restored IS NOT DISTINCT FROM OLD.restored AND EXISTS (SELECT 1 FROM units successor WHERE "
      "successor.id = NEW.replaced_by AND successor.id <> OLD.id AND successor.state = 'written' AND "
      "(successor.mac_before = OLD.mac OR successor.sn_before = OLD.sn))))";
  // SQLite's INSERT OR REPLACE deletes the row a new one collides with and
  // fires no delete trigger for it: no new row takes an existing one's id,
  // nor a unit's MAC or SN.
  const auto taken = [](const std::string& table, const std::string& also = "") {
    return "EXISTS (SELECT 1 FROM " + table + " kept WHERE kept.id = NEW.id" + also + ")";
  };
  // A value given back lies in a released lease's unused tail; SNs of one
  // prefix sort as their numbers only at one length.
  const auto givenBack = [&db](const std::string& mac, const std::string& sn) {
    return "EXISTS (SELECT 1 FROM lease_ends back JOIN leases tail ON tail.lease = back.lease WHERE "
           "back.kind = "
           "'released' AND " +
           mac + " BETWEEN " + db.MacTextSql("tail.mac_first + back.used") + " AND " +
           db.MacTextSql("tail.mac_last") + " AND length(" + sn +
           ") = length(tail.sn_prefix) + tail.sn_width AND " + sn + " BETWEEN tail.sn_prefix || " +
           db.DigitsSql("tail.sn_first + back.used", "tail.sn_width") + " AND tail.sn_prefix || " +
           db.DigitsSql("tail.sn_last", "tail.sn_width") + ")";
  };
  const std::string given = "NEW.lease IS NULL AND NOT " + givenBack("NEW.mac", "NEW.sn") +
                            " AND (NOT EXISTS (SELECT 1 FROM mac_ranges WHERE next > first AND " +
                            db.MacTextSql("next - 1") +
                            " = NEW.mac) OR NOT EXISTS (SELECT 1 FROM sn_ranges WHERE next > first AND " +
                            "prefix || " + db.DigitsSql("next - 1", "width") + " = NEW.sn))";
  // A lease's values as text sort as their numbers do: MACs of twelve
  // digits, SNs of one prefix and width.
  const auto inLease = [&db](const std::string& lease, const std::string& mac, const std::string& sn) {
    return "(" + mac + " BETWEEN " + db.MacTextSql(lease + ".mac_first") + " AND " +
           db.MacTextSql(lease + ".mac_last") + ") OR (" + sn + " BETWEEN " + lease + ".sn_prefix || " +
           db.DigitsSql(lease + ".sn_first", lease + ".sn_width") + " AND " + lease + ".sn_prefix || " +
           db.DigitsSql(lease + ".sn_last", lease + ".sn_width") + ")";
  };
  const auto bothInLease = [&db](const std::string& lease) {
    return "length(NEW.sn) = length(" + lease + ".sn_prefix) + " + lease + ".sn_width AND NEW.mac BETWEEN " +
           db.MacTextSql(lease + ".mac_first") + " AND " + db.MacTextSql(lease + ".mac_last") +
           " AND NEW.sn BETWEEN " + lease + ".sn_prefix || " +
           db.DigitsSql(lease + ".sn_first", lease + ".sn_width") + " AND " + lease + ".sn_prefix || " +
           db.DigitsSql(lease + ".sn_last", lease + ".sn_width");
  };
  // A block is what the counters just moved past: it ends at a range's
  // counter, and no unit or other lease holds a value of it, so nothing
  // below the counter was given before.
  const std::string leaseGiven =
      "NEW.mac_first > NEW.mac_last OR NEW.sn_first > NEW.sn_last OR NEW.mac_last - NEW.mac_first <> "
      "NEW.sn_last - NEW.sn_first OR NOT EXISTS (SELECT 1 FROM mac_ranges WHERE next - 1 = NEW.mac_last AND "
      "first <= NEW.mac_first) OR NOT EXISTS (SELECT 1 FROM sn_ranges WHERE next - 1 = NEW.sn_last AND first "
      "<= NEW.sn_first AND prefix = NEW.sn_prefix AND width = NEW.sn_width)";
  const std::string leaseHeld =
      "EXISTS (SELECT 1 FROM leases other WHERE other.mac_first <= NEW.mac_last AND other.mac_last >= "
      "NEW.mac_first) OR EXISTS (SELECT 1 FROM leases other WHERE other.sn_prefix = NEW.sn_prefix AND "
      "other.sn_width = NEW.sn_width AND other.sn_first <= NEW.sn_last AND other.sn_last >= NEW.sn_first) OR "
      "EXISTS (SELECT 1 FROM units WHERE " +
      inLease("NEW", "units.mac", "units.sn") + ")";
  return {
      {"quorvix_ledger", "INSERT", "EXISTS (SELECT 1 FROM quorvix_ledger)", "a ledger has one version"},
      {"quorvix_ledger", "UPDATE", "NEW.version <= OLD.version", "a ledger's version only moves forward"},
      {"quorvix_ledger", "DELETE", always, "a ledger's version is never deleted"},
      {"mac_ranges", "INSERT", "NEW.next <> NEW.first", "a range begins at its first value"},
      {"mac_ranges", "INSERT", taken("mac_ranges"), "a range of the ledger is never written over"},
      {"mac_ranges", "UPDATE",
       changed({"id", "first", "last"}) + " OR NEW.next < OLD.next OR NEW.next > NEW.last + 1",
       "a range changes in nothing but its next value, which only grows"},
      {"mac_ranges", "DELETE", always, "a range of the ledger is never deleted"},
      {"sn_ranges", "INSERT", "NEW.next <> NEW.first", "a range begins at its first value"},
      {"sn_ranges", "INSERT", taken("sn_ranges"), "a range of the ledger is never written over"},
      {"sn_ranges", "UPDATE",
       changed({"id", "prefix", "width", "first", "last"}) +
           " OR NEW.next < OLD.next OR NEW.next > NEW.last + 1",
       "a range changes in nothing but its next value, which only grows"},
      {"sn_ranges", "DELETE", always, "a range of the ledger is never deleted"},
      {"units", "INSERT",
       "NEW.state <> 'reserved' OR NEW.restored IS NOT NULL OR NEW.replaced_by IS NOT NULL",
       "a unit is made reserved"},
      {"units", "INSERT", taken("units", " OR kept.mac = NEW.mac OR kept.sn = NEW.sn"),
       "a unit of the ledger is never written over"},
      {"units", "INSERT", given, "a unit is made only with the values the ranges' counters just gave"},
      {"units", "UPDATE",
       changed({"id", "mac", "sn", "mac_before", "sn_before", "station", "host", "time", "station_time",
                "role", "request", "lease"}),
       "a unit's values, values before, station, host, times, role, request and lease never change"},
      {"units", "UPDATE", moved,
       "a unit moves only from reserved to written or failed, from failed to written, and to replaced by "
       "the unit written into its device; nothing else of it changes"},
      // Whether a write failed is known on the station that made it; that it
      // landed, or that the device got new values, the device itself shows.
      {"units", "UPDATE",
       "OLD.state = 'reserved' AND NEW.state = 'failed' AND OLD.role <> '' AND OLD.role <> " + db.RoleSql() +
           " AND NOT " + db.OwnerSql(),
       "only the role that reserved a unit records that its write failed"},
      {"units", "DELETE", always, "a unit of the ledger is never deleted"},
      {"history", "INSERT", taken("history"), "the history of the ledger is never written over"},
      {"history", "UPDATE", always, "the history of the ledger is never changed"},
      {"history", "DELETE", always, "the history of the ledger is never deleted"},
      // Rules of the fourth version, after the third's, whose places they keep.
      {"units", "INSERT",
       "NEW.lease IS NULL AND EXISTS (SELECT 1 FROM leases WHERE " + inLease("leases", "NEW.mac", "NEW.sn") +
           ") AND NOT " + givenBack("NEW.mac", "NEW.sn"),
       "a leased value goes to no unit but one made from its lease, unless it was given back"},
      // A withdrawn lease's values went to devices no one can name: any
      // station may record one that comes back.
      {"units", "INSERT",
       "NEW.lease IS NOT NULL AND (NEW.request IS NULL OR NOT EXISTS (SELECT 1 FROM leases WHERE "
       "leases.lease = NEW.lease AND " +
           bothInLease("leases") + " AND (leases.role = " + db.RoleSql() +
           " OR EXISTS (SELECT 1 FROM lease_ends withdrawn WHERE withdrawn.lease = leases.lease AND "
           "withdrawn.kind = 'withdrawn')) AND NOT EXISTS (SELECT 1 FROM lease_ends back WHERE back.lease = "
           "leases.lease AND back.kind = 'released' AND NEW.mac >= " +
           db.MacTextSql("leases.mac_first + back.used") + ")))",
       "a unit made from a lease has its own id and values of that lease not given back, which the role "
       "connected holds or which was withdrawn"},
      {"leases", "INSERT", taken("leases", " OR kept.lease = NEW.lease"),
       "a lease of the ledger is never written over"},
      {"leases", "INSERT", "NEW.role IS DISTINCT FROM " + db.RoleSql(),
       "a lease is held by the role that takes it"},
      {"leases", "INSERT", leaseGiven, "a lease is made only of values the ranges' counters just gave"},
      {"leases", "INSERT", leaseHeld, "a leased value is no other lease's and no unit's"},
      {"leases", "UPDATE", always, "a lease never changes"},
      {"leases", "DELETE", always, "a lease is never deleted"},
      {"lease_ends", "INSERT", taken("lease_ends", " OR kept.lease = NEW.lease"), "a lease ends once"},
      {"lease_ends", "INSERT",
       "NEW.kind NOT IN ('released', 'withdrawn') OR NEW.role IS DISTINCT FROM " + db.RoleSql() +
           " OR NOT EXISTS (SELECT 1 FROM leases WHERE leases.lease = NEW.lease)",
       "a lease of the ledger ends given back or withdrawn, recorded by the role that ends it"},
      {"lease_ends", "INSERT",
       "NEW.kind = 'released' AND NOT EXISTS (SELECT 1 FROM leases WHERE leases.lease = NEW.lease AND "
       "leases.role = " +
           db.RoleSql() + ")",
       "a lease is given back by the role that holds it"},
      {"lease_ends", "INSERT", "NEW.kind = 'withdrawn' AND NOT " + db.OwnerSql(),
       "only the ledger's owner withdraws a lease"},
      {"lease_ends", "INSERT",
       "NEW.kind = 'released' AND (NEW.used IS NULL OR NEW.used < 0 OR EXISTS (SELECT 1 FROM leases WHERE "
       "leases.lease = NEW.lease AND (NEW.used > leases.mac_last - leases.mac_first + 1 OR EXISTS (SELECT 1 "
       "FROM units WHERE units.lease = NEW.lease AND units.mac >= " +
           db.MacTextSql("leases.mac_first + NEW.used") + "))))",
       "values given back are a lease's own, which none of its units has"},
      {"lease_ends", "UPDATE", always, "a lease's end never changes"},
      {"lease_ends", "DELETE", always, "a lease's end is never deleted"},
  };
}

// The third version: each unit's role, station's own clock and request, the history
// of every change (the units there are as found); its rules on the rows follow.
std::vector<std::string> Version3(const Database& db) {
  std::vector<std::string> steps = {
      "ALTER TABLE units ADD COLUMN station_time TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE units ADD COLUMN role TEXT NOT NULL DEFAULT ''",
      "ALTER TABLE units ADD COLUMN request TEXT",
      "CREATE UNIQUE INDEX units_request ON units (request)",
      "UPDATE units SET station_time = time",
      "CREATE TABLE history (id " + db.IdColumn() +
          ", unit BIGINT NOT NULL, state_before TEXT, state TEXT NOT NULL, path TEXT NOT NULL, station TEXT "
          "NOT "
          "NULL, role TEXT NOT NULL, time TEXT NOT NULL, note TEXT)",
      "CREATE INDEX history_unit ON history (unit)",
      "CREATE INDEX history_time ON history (time)",
      "INSERT INTO history (unit, state, path, station, role, time, note) SELECT id, state, path, station, " +
          db.RoleSql() + ", " + db.NowSql() + ", 'as found' FROM units ORDER BY id",
  };
  return steps;
}

// The fourth version's tables: leases, and each unit's lease.
std::vector<std::string> Version4(const Database& db) {
  return {
      "ALTER TABLE units ADD COLUMN lease TEXT",
      "CREATE TABLE leases (id " + db.IdColumn() +
          ", lease TEXT NOT NULL UNIQUE, station TEXT NOT NULL, role TEXT NOT NULL, machine TEXT NOT NULL, "
          "mac_first BIGINT NOT NULL, mac_last BIGINT NOT NULL, sn_prefix TEXT NOT NULL, sn_width INTEGER "
          "NOT "
          "NULL, sn_first BIGINT NOT NULL, sn_last BIGINT NOT NULL, time TEXT NOT NULL)",
      "CREATE INDEX units_lease ON units (lease)",
      // How a lease ended: given back by its station from its used-th value
      // on, or withdrawn by the owner, its unused values lost.
      "CREATE TABLE lease_ends (id " + db.IdColumn() +
          ", lease TEXT NOT NULL UNIQUE, kind TEXT NOT NULL, used BIGINT, role TEXT NOT NULL, time TEXT NOT "
          "NULL)",
  };
}

constexpr const char* kUnitColumns =
    "id, mac, sn, path, station, host, time, state, mac_before, sn_before, restored, "
    "(SELECT successor.mac FROM units successor WHERE successor.id = units.replaced_by), station_time, role, "
    "lease";

Unit UnitOf(const Row& row) {
  const std::optional<std::int64_t> restored = row.Optional(10);
  Unit unit;
  unit.id = row.Integer(0);
  unit.mac = row.Text(1);
  unit.sn = row.Text(2);
  unit.path = row.Text(3);
  unit.station = row.Text(4);
  unit.host = row.Text(5);
  unit.time = row.Text(6);
  unit.state = ParseUnitState(row.Text(7)).value_or(UnitState::reserved);
  unit.macBefore = row.Text(8);
  unit.snBefore = row.Text(9);
  if (restored) unit.restored = *restored != 0;
  unit.replacedBy = row.columns.at(11);
  unit.stationTime = row.Text(12);
  unit.role = row.Text(13);
  unit.lease = row.columns.at(14);
  return unit;
}

constexpr const char* kChangeColumns =
    "history.id, unit, units.mac, units.sn, state_before, history.state, history.path, history.station, "
    "history.role, history.time, note";

Change ChangeOf(const Row& row) {
  Change change;
  change.id = row.Integer(0);
  change.unit = row.Integer(1);
  change.mac = row.Text(2);
  change.sn = row.Text(3);
  if (row.columns.at(4)) change.before = ParseUnitState(row.Text(4));
  change.state = ParseUnitState(row.Text(5)).value_or(UnitState::reserved);
  change.path = row.Text(6);
  change.station = row.Text(7);
  change.role = row.Text(8);
  change.time = row.Text(9);
  change.note = row.Text(10);
  return change;
}

// Why a file whose values a unit has is refused: a written unit's, or one
// of a unit's values without the other.
Failure Owned(const Row& owner, const Request& request) {
  const bool mac = owner.Text(1) == request.macBefore;
  const std::string state = owner.Text(3);
  return Refused("already holds " + (mac ? "MAC " + owner.Text(1) : "SN " + owner.Text(2)) + " assigned at " +
                 owner.Text(5) + " by station " + owner.Text(4) + " (unit " + state +
                 "); --reassign gives it new values");
}

class SqlLedger final : public Ledger {
 public:
  SqlLedger(std::unique_ptr<Database> database, Reconnect reconnect)
      : db_(std::move(database)), reconnect_(std::move(reconnect)) {}

  // A database that holds a ledger, of this version or made so; none yet for init.
  Result<> Check(bool create) {
    Result<std::vector<Row>> version = db_->Query("SELECT version FROM quorvix_ledger");
    if (create && version)
      return Failure(Failure::Cause::exists, L"a ledger is there already: init makes only a new one");
    if (create) return {};
    if (!version && version.error().cause == Failure::Cause::retry) return version.error();
    if (!version && version.error().cause == Failure::Cause::refused)
      return Refused(
          "this role may not read the ledger: its owner gives a station's role what it needs "
          "(ledger grant LEDGER ROLE); " +
          Utf8(version.error().text));
    if (!version || version->empty())
      return Refused("this is no Quorvix ledger, or it is damaged" +
                     (version ? std::string() : ": " + Utf8(version.error().text)));
    const std::int64_t found = version->front().Integer(0);
    if (found > kVersion)
      return Refused("this ledger is of version " + std::to_string(found) +
                     ", which this quorvix-cli does not know");
    if (found == kVersion) return {};
    Result<bool> owner = Owner();
    if (!owner) return owner.error();
    if (!*owner)
      return Refused(
          "this ledger was made by an earlier quorvix-cli: its owner brings it up to date by opening it once "
          "(ledger status, as the owner); nothing was changed");
    return Upgrade();
  }

  Result<> Init(const MacRange& macs, const SnRange& sns) override {
    if (Result<> owner = OwnerOnly("makes a ledger"); !owner) return owner;
    return Transaction(false, [&]() -> Result<> {
      std::vector<std::string> schema = Version2(db_->IdColumn());
      for (const std::vector<std::string>& steps :
           {Version3(*db_), Version4(*db_), db_->Guards(RowRules(*db_))})
        schema.insert(schema.end(), steps.begin(), steps.end());
      schema.push_back("UPDATE quorvix_ledger SET version = " + std::to_string(kVersion));
      if (Result<> made = Run(schema); !made) return made;
      if (Result<> added = Add<MacTable>(macs); !added) return added;
      return Add<SnTable>(sns);
    });
  }

  Result<> Grant(const std::string& role) override {
    if (Result<> owner = OwnerOnly("grants roles"); !owner) return owner;
    return Transaction(false, [&]() { return db_->GrantStation(role); });
  }

  Result<std::string> Now() override {
    Result<std::vector<Row>> now = db_->Query("SELECT " + db_->NowSql());
    if (!now) return now.error();
    return now->front().Text(0);
  }

  Result<> Extend(const std::optional<MacRange>& macs, const std::optional<SnRange>& sns) override {
    if (Result<> owner = OwnerOnly("extends a ledger"); !owner) return owner;
    return Transaction(true, [&]() -> Result<> {
      if (Result<> free = Unclaimed<MacTable>(macs); !free) return free;
      if (Result<> free = Unclaimed<SnTable>(sns); !free) return free;
      if (macs) {
        if (Result<> added = Add<MacTable>(*macs); !added) return added;
      }
      if (sns) return Add<SnTable>(*sns);
      return {};
    });
  }

  Result<Reservation> Reserve(const Request& request) override {
    Reservation reservation;
    Unit& unit = reservation.unit;
    if (Result<> begun = db_->Begin(true); !begun) return begun.error();
    Result<> reserved = [&]() -> Result<> {
      Result<std::vector<Row>> owners = db_->Query(
          "SELECT id, mac, sn, state, station, time FROM units WHERE (mac = ? OR sn = ?) AND state <> "
          "'replaced' ORDER BY id",
          {request.macBefore, request.snBefore});
      if (!owners) return owners.error();
      for (const Row& owner : *owners) {
        const std::string state = owner.Text(3);
        if (owner.Text(1) != request.macBefore || owner.Text(2) != request.snBefore ||
            (state != "reserved" && state != "failed"))
          continue;
        // The run that reserved it wrote the file, and was stopped before it
        // could record so: the same assign run again records it.
        if (Result<Recorded> written = Written(owner.Integer(0), request.path, true); !written)
          return written.error();
        UnitFilter filter;
        filter.unit = owner.Integer(0);
        reservation.found = true;
        return EachUnit(filter, [&](const Unit& found) -> Result<> {
          unit = found;
          return {};
        });
      }
      if (!owners->empty() && !request.reassign) return Owned(owners->front(), request);
      Result<std::optional<std::pair<std::string, std::string>>> back = NextGivenBack();
      if (!back) return back.error();
      if (*back) {
        std::tie(unit.mac, unit.sn) = **back;
      } else {
        Result<std::string> mac = Take<MacTable>(reservation.macs);
        if (!mac) return mac.error();
        Result<std::string> sn = Take<SnTable>(reservation.sns);
        if (!sn) return sn.error();
        unit.mac = *mac;
        unit.sn = *sn;
      }
      unit.path = request.path;
      unit.station = request.station;
      unit.host = request.host;
      unit.stationTime = request.time;
      unit.macBefore = request.macBefore;
      unit.snBefore = request.snBefore;
      const Parameter id = request.id.empty() ? Parameter(nullptr) : Parameter(request.id);
      Result<std::vector<Row>> inserted = db_->Query(
          "INSERT INTO units (mac, sn, path, station, host, time, station_time, state, mac_before, "
          "sn_before, request) VALUES (?, ?, ?, ?, ?, " +
              db_->NowSql() + ", ?, 'reserved', ?, ?, ?) RETURNING id, time, role",
          {unit.mac, unit.sn, unit.path, unit.station, unit.host, unit.stationTime, unit.macBefore,
           unit.snBefore, id});
      if (!inserted) return inserted.error();
      unit.id = inserted->at(0).Integer(0);
      unit.time = inserted->at(0).Text(1);
      unit.role = inserted->at(0).Text(2);
      if (request.lease) return TakeLease(request, reservation);
      return {};
    }();
    if (!reserved) {
      db_->Rollback();
      return reserved.error();
    }
    if (Result<> committed = db_->Commit(); !committed) {
      // A connection lost during the commit leaves it unknown whether the
      // server committed; a refusal the server gave is certain.
      if (committed.error().cause != Failure::Cause::retry) return committed.error();
      return AfterLostCommit(request, committed.error());
    }
    return reservation;
  }

  Result<std::optional<Unit>> Requested(const std::string& id) override {
    Result<std::vector<Row>> rows =
        db_->Query(std::string("SELECT ") + kUnitColumns + " FROM units WHERE request = ?", {id});
    if (!rows) return rows.error();
    if (rows->empty()) return std::optional<Unit>();
    return std::optional<Unit>(UnitOf(rows->front()));
  }

  Result<Recorded> Settle(std::int64_t unit, UnitState state, std::optional<bool> restored) override {
    if (state == UnitState::written) return Recording(unit, std::nullopt);
    Parameter flag = nullptr;
    if (restored) flag = std::int64_t{*restored};
    return Changed(db_->Query(
        "UPDATE units SET state = ?, restored = ? WHERE id = ? AND state = 'reserved' RETURNING id",
        {StateText(state), flag, unit}));
  }

  Result<Recorded> Found(std::int64_t unit, const std::string& path) override {
    return Recording(unit, path);
  }

  Result<bool> BlankBefore(const Unit& unit) override {
    Result<std::vector<Row>> shared =
        db_->Query("SELECT id FROM units WHERE mac_before = ? AND sn_before = ? AND id <> ? LIMIT 1",
                   {unit.macBefore, unit.snBefore, unit.id});
    if (!shared) return shared.error();
    if (shared->empty()) return false;
    Result<std::vector<Row>> own =
        db_->Query("SELECT id FROM units WHERE mac = ? AND sn = ? LIMIT 1", {unit.macBefore, unit.snBefore});
    if (!own) return own.error();
    return own->empty();
  }

  Result<Summary> Summarize(const std::string& now) override {
    Summary summary;
    Result<std::vector<Row>> replication = db_->Query(db_->ReplicationSql());
    if (!replication) return replication.error();
    for (Replication kind : kReplications) {
      if (!replication->empty() && replication->front().Text(0) == Name(kind)) summary.replication = kind;
    }
    if (Result<> read = Summaries<MacTable>(summary, now); !read) return read.error();
    if (Result<> read = Summaries<SnTable>(summary, now); !read) return read.error();
    Result<std::vector<Row>> states = db_->Query("SELECT state, count(*) FROM units GROUP BY state");
    if (!states) return states.error();
    for (const Row& row : *states) {
      if (std::optional<UnitState> state = ParseUnitState(row.Text(0)))
        summary.units[static_cast<std::size_t>(*state)] = Count(row, 1);
    }
    // A unit sent from a lease was programmed while the server was out of
    // reach: the two clocks it carries are apart by the cut, not by a clock.
    Result<std::vector<Row>> latest = db_->Query(
        "SELECT station, time, station_time FROM units WHERE id IN (SELECT max(id) FROM units WHERE lease IS "
        "NULL GROUP BY station) ORDER BY station");
    if (!latest) return latest.error();
    for (const Row& row : *latest) {
      const std::optional<Seconds> ledgerTime = ParseIsoTime(row.Text(1)),
                                   stationTime = ParseIsoTime(row.Text(2));
      if (!ledgerTime || !stationTime) continue;
      const std::int64_t off = (*stationTime - *ledgerTime).count();
      if (off > kClockTolerance || off < -kClockTolerance)
        summary.clocks.push_back({row.Text(0), row.Text(1), row.Text(2), off});
    }
    if (Result<> read = LeaseSummaries(summary); !read) return read.error();
    return summary;
  }

  Result<> CountRecent(RangeSummary& range, const std::string& now) override {
    const std::optional<Seconds> at = ParseIsoTime(now);
    const std::string hourAgo = at ? IsoTime(*at - std::chrono::hours(1)) : now;
    const std::string dayAgo = at ? IsoTime(*at - std::chrono::hours(24)) : now;
    // Values of a range sort as their texts do: fixed width, one prefix.
    const std::string column = range.kind == RangeSummary::Kind::mac ? "mac" : "sn";
    Result<std::vector<Row>> recent =
        db_->Query("SELECT count(CASE WHEN time >= ? THEN 1 END), count(*) FROM units WHERE " + column +
                       " BETWEEN ? AND ? AND time >= ?",
                   {hourAgo, range.first, range.last, dayAgo});
    if (!recent) return recent.error();
    range.lastHour = Count(recent->front(), 0);
    range.lastDay = Count(recent->front(), 1);
    return {};
  }

  Result<Recorded> Send(const LeasedUnit& leased, const std::string& machine) override {
    const Request& request = leased.request;
    Recorded recorded = Recorded::done;
    Result<> sent = Transaction(true, [&]() -> Result<> {
      Result<std::optional<Unit>> had = Requested(request.id);
      if (!had) return had.error();
      if (*had) {
        recorded = Recorded::already;
        return {};
      }
      Result<std::vector<Row>> granted =
          db_->Query("SELECT machine FROM leases WHERE lease = ?", {leased.lease});
      if (!granted) return granted.error();
      if (!granted->empty() && granted->front().Text(0) != machine)
        return Refused("the station's unit " + request.id + " (MAC " + leased.mac +
                       ") is of a lease granted to " + "another machine: this lease file was copied from it");
      // A lease file restored from an older copy holds values that went out
      // again since: the unit that has them keeps them, and this one is
      // never merged into it.
      Result<std::vector<Row>> holders = db_->Query(
          "SELECT id, station, time, path, mac, sn, (SELECT lease FROM lease_ends WHERE lease_ends.lease "
          "= units.lease AND kind = 'withdrawn') FROM units WHERE mac = ? OR sn = ? ORDER BY id LIMIT 1",
          {leased.mac, leased.sn});
      if (!holders) return holders.error();
      // The same device, recorded by reconcile once its lease was withdrawn;
      // any other holder of its values is never merged with it.
      if (!holders->empty() && holders->front().Text(4) == leased.mac &&
          holders->front().Text(5) == leased.sn && holders->front().Text(6) == leased.lease) {
        recorded = Recorded::already;
        return {};
      }
      if (!holders->empty())
        return Refused("the station's unit " + request.id + " (MAC " + leased.mac + ", SN " + leased.sn +
                       ", " + request.path + ") shares its values with unit " + holders->front().Text(0) +
                       " of station " + holders->front().Text(1) + " (" + holders->front().Text(3) +
                       ") recorded at " + holders->front().Text(2) +
                       ": it is not merged; this lease file may be an old copy, restored from a backup");
      Result<std::vector<Row>> inserted = db_->Query(
          "INSERT INTO units (mac, sn, path, station, host, time, station_time, state, mac_before, "
          "sn_before, request, lease) VALUES (?, ?, ?, ?, ?, " +
              db_->NowSql() + ", ?, 'reserved', ?, ?, ?, ?) RETURNING id",
          {leased.mac, leased.sn, request.path, request.station, request.host, request.time,
           request.macBefore, request.snBefore, request.id, leased.lease});
      if (!inserted) return inserted.error();
      const std::int64_t id = inserted->front().Integer(0);
      if (leased.state == UnitState::reserved) return {};  // for ledger reconcile to settle
      if (leased.state == UnitState::written) {
        Result<Recorded> written = Written(id, std::nullopt, true);
        if (!written) return written.error();
        return {};
      }
      Parameter flag = nullptr;
      if (leased.restored) flag = std::int64_t{*leased.restored};
      Result<std::vector<Row>> failed =
          db_->Query("UPDATE units SET state = 'failed', restored = ? WHERE id = ?", {flag, id});
      if (!failed) return failed.error();
      return {};
    });
    if (!sent) return sent.error();
    return recorded;
  }

  Result<> GiveBack(const std::string& lease, std::uint64_t used) override {
    return Transaction(true, [&]() -> Result<> {
      Result<std::vector<Row>> ended =
          db_->Query("SELECT kind, used FROM lease_ends WHERE lease = ?", {lease});
      if (!ended) return ended.error();
      if (ended->empty()) {
        Result<std::vector<Row>> given =
            db_->Query("INSERT INTO lease_ends (lease, kind, used, role, time) VALUES (?, 'released', ?, " +
                           db_->RoleSql() + ", " + db_->NowSql() + ")",
                       {lease, static_cast<std::int64_t>(used)});
        if (!given) return given.error();
        return {};
      }
      const Row& end = ended->front();
      if (end.Text(0) == "released" && end.Optional(1) == static_cast<std::int64_t>(used)) return {};
      if (end.Text(0) == "withdrawn") return {};  // nothing of it is the station's to give back
      return Refused("the lease " + lease + " was given back already, from its value " + end.Text(1) + " on");
    });
  }

  Result<Withdrawal> Withdraw(const std::string& station) override {
    if (Result<> owner = OwnerOnly("withdraws a lease"); !owner) return owner.error();
    Withdrawal withdrawal;
    Result<> done = Transaction(true, [&]() -> Result<> {
      Result<std::vector<Row>> held = db_->Query("SELECT count(*) FROM leases WHERE station = ?", {station});
      if (!held) return held.error();
      if (Count(held->front(), 0) == 0) return Refused("station " + station + " has never held a lease");
      Result<std::vector<Row>> ended = db_->Query(
          "INSERT INTO lease_ends (lease, kind, used, role, time) SELECT lease, 'withdrawn', NULL, " +
              db_->RoleSql() + ", " + db_->NowSql() +
              " FROM leases WHERE station = ? AND NOT EXISTS (SELECT 1 FROM lease_ends WHERE "
              "lease_ends.lease "
              "= leases.lease) RETURNING lease",
          {station});
      if (!ended) return ended.error();
      withdrawal.leases = ended->size();
      Result<std::vector<Row>> lost = db_->Query(
          "SELECT CAST(coalesce(sum(mac_last - mac_first + 1 - (SELECT count(*) FROM units WHERE units.lease "
          "= leases.lease)), 0) AS BIGINT) FROM leases JOIN lease_ends ON lease_ends.lease = leases.lease "
          "WHERE "
          "leases.station = ? AND lease_ends.kind = 'withdrawn'",
          {station});
      if (!lost) return lost.error();
      withdrawal.lost = Count(lost->front(), 0);
      return {};
    });
    if (!done) return done.error();
    return withdrawal;
  }

  Result<std::vector<std::string>> Ended(const std::vector<std::string>& leases) override {
    std::vector<std::string> ended;
    for (const std::string& lease : leases) {
      Result<std::vector<Row>> end = db_->Query("SELECT 1 FROM lease_ends WHERE lease = ?", {lease});
      if (!end) return end.error();
      if (!end->empty()) ended.push_back(lease);
    }
    return ended;
  }

  Result<std::optional<Unit>> FromWithdrawn(const Request& request, const std::string& mac,
                                            const std::string& sn) override {
    std::uint64_t number = 0;
    if (const auto [end, error] = std::from_chars(mac.data(), mac.data() + mac.size(), number, 16);
        error != std::errc() || end != mac.data() + mac.size() ||
        MacRange{number, number}.Text(number) != mac)
      return std::optional<Unit>();
    std::optional<std::int64_t> made;
    Result<> done = Transaction(true, [&]() -> Result<> {
      Result<std::vector<Row>> leases = db_->Query(
          "SELECT leases.lease, mac_first, sn_prefix, sn_width, sn_first FROM leases JOIN lease_ends ON "
          "lease_ends.lease = leases.lease WHERE lease_ends.kind = 'withdrawn' AND ? BETWEEN mac_first AND "
          "mac_last",
          {static_cast<std::int64_t>(number)});
      if (!leases) return leases.error();
      for (const Row& lease : *leases) {
        // Both values at the same place of the lease, as its station took them.
        const SnRange sns{lease.Text(2), static_cast<int>(lease.Integer(3)), Count(lease, 4),
                          Count(lease, 4)};
        if (sns.Text(sns.first + (number - Count(lease, 1))) != sn) continue;
        Result<std::vector<Row>> inserted = db_->Query(
            "INSERT INTO units (mac, sn, path, station, host, time, station_time, state, mac_before, "
            "sn_before, request, lease) VALUES (?, ?, ?, ?, ?, " +
                db_->NowSql() + ", ?, 'reserved', ?, ?, ?, ?) RETURNING id",
            {mac, sn, request.path, request.station, request.host, request.time, std::string(), std::string(),
             request.id, lease.Text(0)});
        if (!inserted) return inserted.error();
        made = inserted->front().Integer(0);
        if (Result<Recorded> written = Written(*made, std::nullopt, false); !written) return written.error();
        return {};
      }
      return {};
    });
    if (!done) return done.error();
    if (!made) return std::optional<Unit>();
    UnitFilter filter;
    filter.unit = *made;
    std::optional<Unit> found;
    Result<> read = EachUnit(filter, [&](const Unit& unit) -> Result<> {
      found = unit;
      return {};
    });
    if (!read) return read.error();
    return found;
  }

  Result<std::vector<HourCount>> UnitsPerHour(const std::string& since) override {
    Result<std::vector<Row>> rows = db_->Query(
        "SELECT substr(time, 1, 13) AS hour, station, count(*) FROM units WHERE time >= ? GROUP BY "
        "substr(time, "
        "1, 13), station ORDER BY hour, station",
        {since});
    if (!rows) return rows.error();
    std::vector<HourCount> counts;
    for (const Row& row : *rows) counts.push_back({row.Text(0), row.Text(1), Count(row, 2)});
    return counts;
  }

  Result<> EachUnit(const UnitFilter& filter, const std::function<Result<>(const Unit&)>& visit) override {
    std::string where = " WHERE id > ?";
    std::vector<Parameter> parameters = {std::int64_t{0}};
    const auto require = [&](const std::string& condition, const std::optional<std::string>& value) {
      if (!value) return;
      where += " AND " + condition;
      parameters.push_back(*value);
    };
    require("state = ?", filter.state ? std::optional(StateText(*filter.state)) : std::nullopt);
    require("station = ?", filter.station);
    require("time >= ?", filter.since);
    require("time < ?", filter.until);
    if (filter.unit) {
      where += " AND id = ?";
      parameters.push_back(*filter.unit);
    }
    if (filter.mine) where += " AND (role = '' OR role = " + db_->RoleSql() + ")";
    if (!filter.values.empty()) {
      std::string any;
      for (const std::string& value : filter.values) {
        any +=
            std::string(any.empty() ? "" : " OR ") + "mac = ? OR sn = ? OR mac_before = ? OR sn_before = ?";
        parameters.insert(parameters.end(), {value, value, value, value});
      }
      where += " AND (" + any + ")";
    }
    if (filter.latest) {
      parameters[0] = std::numeric_limits<std::int64_t>::min();
      Result<std::vector<Row>> rows =
          db_->Query(std::string("SELECT ") + kUnitColumns + " FROM units" + where +
                         " ORDER BY id DESC LIMIT " + std::to_string(*filter.latest),
                     parameters);
      if (!rows) return rows.error();
      for (const Row& row : *rows) {
        if (Result<> visited = visit(UnitOf(row)); !visited) return visited;
      }
      return {};
    }
    return Paged<Unit>(std::string("SELECT ") + kUnitColumns + " FROM units" + where + " ORDER BY id LIMIT " +
                           std::to_string(kPage),
                       std::move(parameters), UnitOf, visit);
  }

  Result<> EachChange(const UnitFilter& filter,
                      const std::function<Result<>(const Change&)>& visit) override {
    std::string where = " WHERE history.id > ?";
    std::vector<Parameter> parameters = {std::int64_t{0}};
    const auto require = [&](const std::string& condition, const std::optional<Parameter>& value) {
      if (!value) return;
      where += " AND " + condition;
      parameters.push_back(*value);
    };
    require("history.state = ?",
            filter.state ? std::optional<Parameter>(StateText(*filter.state)) : std::nullopt);
    require("history.station = ?", filter.station ? std::optional<Parameter>(*filter.station) : std::nullopt);
    require("history.time >= ?", filter.since ? std::optional<Parameter>(*filter.since) : std::nullopt);
    require("history.time < ?", filter.until ? std::optional<Parameter>(*filter.until) : std::nullopt);
    require("unit = ?", filter.unit ? std::optional<Parameter>(*filter.unit) : std::nullopt);
    return Paged<Change>(std::string("SELECT ") + kChangeColumns +
                             " FROM history JOIN units ON units.id = history.unit" + where +
                             " ORDER BY history.id LIMIT " + std::to_string(kPage),
                         std::move(parameters), ChangeOf, visit);
  }

 private:
  // Runs sql a page at a time, so that memory stays flat however many rows
  // there are: its first parameter is the row number the next page starts
  // after, and its rows' first column their row number.
  template <class Item>
  Result<> Paged(const std::string& sql, std::vector<Parameter> parameters, Item (*of)(const Row&),
                 const std::function<Result<>(const Item&)>& visit) {
    for (;;) {
      Result<std::vector<Row>> rows = db_->Query(sql, parameters);
      if (!rows) return rows.error();
      for (const Row& row : *rows) {
        if (Result<> visited = visit(of(row)); !visited) return visited;
      }
      if (rows->size() < kPage) return {};
      parameters[0] = rows->back().Integer(0);
    }
  }

  Result<Reservation> AfterLostCommit(const Request& request, const Failure& lost) {
    const auto inDoubt = [](const Failure& why) {
      return Failure(Failure::Cause::inDoubt, L"the ledger did not answer whether values were reserved (" +
                                                  why.text + L"): the same command again settles it");
    };
    if (request.id.empty()) return inDoubt(lost);
    Result<std::unique_ptr<Database>> again = reconnect_();
    if (!again) return inDoubt(again.error());
    db_ = std::move(*again);
    Result<std::optional<Unit>> unit = Requested(request.id);
    if (!unit) return inDoubt(unit.error());
    if (!*unit) return lost;
    // A commit of this connection's own: under synchronous replication the
    // lost one may be on the primary alone, and this one is answered only
    // once the standby holds both.
    if (Result<> begun = db_->Begin(false); !begun) return inDoubt(begun.error());
    Result<std::vector<Row>> confirmed =
        db_->Query("UPDATE units SET state = state WHERE id = ?", {(*unit)->id});
    if (!confirmed) {
      db_->Rollback();
      return inDoubt(confirmed.error());
    }
    if (Result<> committed = db_->Commit(); !committed) return inDoubt(committed.error());
    Reservation reservation = Uncounted(**unit);
    // The lease asked for with it committed with it: the station keeps it.
    if (request.lease) {
      Result<std::vector<Row>> lease = db_->Query(
          "SELECT mac_first, mac_last, sn_prefix, sn_width, sn_first, sn_last FROM leases WHERE lease = ?",
          {request.lease->id});
      if (!lease) return inDoubt(lease.error());
      if (!lease->empty()) {
        const Row& row = lease->front();
        reservation.lease =
            Lease{request.lease->id,
                  {Count(row, 0), Count(row, 1)},
                  {row.Text(2), static_cast<int>(row.Integer(3)), Count(row, 4), Count(row, 5)}};
      }
    }
    return reservation;
  }

  // Each station's leases, and the values given back not yet handed out.
  Result<> LeaseSummaries(Summary& summary) {
    const std::string sent = "(SELECT count(*) FROM units WHERE units.lease = leases.lease)";
    Result<std::vector<Row>> stations = db_->Query(
        "SELECT station, CAST(sum(size) AS BIGINT), CAST(sum(sent) AS BIGINT), CAST(sum(back) AS BIGINT), "
        "CAST(sum(lost) AS BIGINT), (SELECT max(time) FROM units WHERE "
        "units.station = per.station) FROM (SELECT leases.station, mac_last - mac_first + 1 AS size, " +
        sent +
        " AS sent, CASE WHEN ends.kind = 'released' THEN mac_last - mac_first + 1 - ends.used ELSE 0 "
        "END AS back, CASE WHEN ends.kind = 'withdrawn' THEN mac_last - mac_first + 1 - " +
        sent +
        " ELSE 0 END AS lost FROM leases LEFT JOIN lease_ends ends ON ends.lease = leases.lease) per GROUP "
        "BY "
        "station ORDER BY station");
    if (!stations) return stations.error();
    for (const Row& row : *stations) {
      StationLeases& station = summary.leases.emplace_back();
      station.station = row.Text(0);
      station.leased = Count(row, 1);
      station.sent = Count(row, 2);
      station.givenBack = Count(row, 3);
      station.lost = Count(row, 4);
      station.left = station.leased - station.sent - station.givenBack - station.lost;
      station.heard = row.Text(5);
    }
    Result<std::vector<Row>> back = db_->Query(
        "SELECT CAST(coalesce(sum(tail.mac_last - tail.mac_first + 1 - back.used - (SELECT count(*) FROM "
        "units WHERE units.lease IS NULL AND units.mac BETWEEN " +
        db_->MacTextSql("tail.mac_first + back.used") + " AND " + db_->MacTextSql("tail.mac_last") +
        ")), 0) AS BIGINT) FROM lease_ends back JOIN leases tail ON tail.lease = back.lease WHERE back.kind "
        "= 'released'");
    if (!back) return back.error();
    summary.givenBackLeft = Count(back->front(), 0);
    return {};
  }

  // The oldest value given back that no unit has taken again, MAC and SN
  // at one place of their lease. Given-back values are handed out in order,
  // so the units in a lease's tail count how far into it the next one is.
  Result<std::optional<std::pair<std::string, std::string>>> NextGivenBack() {
    Result<std::vector<Row>> next = db_->Query(
        "SELECT mac_first + place, sn_prefix, sn_width, sn_first + place FROM (SELECT back.id, "
        "tail.mac_first, tail.sn_prefix, tail.sn_width, tail.sn_first, tail.mac_last - tail.mac_first + 1 AS "
        "size, back.used + (SELECT count(*) FROM units WHERE units.lease IS NULL AND units.mac BETWEEN " +
        db_->MacTextSql("tail.mac_first + back.used") + " AND " + db_->MacTextSql("tail.mac_last") +
        ") AS place FROM lease_ends back JOIN leases tail ON tail.lease = back.lease WHERE back.kind = "
        "'released') tails WHERE place < size ORDER BY id LIMIT 1");
    if (!next) return next.error();
    if (next->empty()) return std::optional<std::pair<std::string, std::string>>();
    const Row& row = next->front();
    const std::uint64_t mac = Count(row, 0), sn = Count(row, 3);
    return std::optional(std::pair{MacRange{mac, mac}.Text(mac),
                                   SnRange{row.Text(1), static_cast<int>(row.Integer(2)), sn, sn}.Text(sn)});
  }

  // The next block of up to the size asked for, as many MACs as SNs, from
  // the oldest ranges that have any left, taken for the station alone; none
  // where a kind has no value left. The block stays within one range of each
  // kind: a lease runs short at a range's end, and the next one goes on in
  // the next range.
  Result<> TakeLease(const Request& request, Reservation& reservation) {
    Result<std::vector<Row>> macs =
        db_->Query("SELECT id, first, last, next FROM mac_ranges WHERE next <= last ORDER BY id LIMIT 1");
    if (!macs) return macs.error();
    Result<std::vector<Row>> sns = db_->Query(
        "SELECT id, prefix, width, first, last, next FROM sn_ranges WHERE next <= last ORDER BY id LIMIT 1");
    if (!sns) return sns.error();
    if (macs->empty() || sns->empty() || request.lease->size == 0) return {};
    const Row& mac = macs->front();
    const Row& sn = sns->front();
    const std::uint64_t macNext = Count(mac, 3), snNext = Count(sn, 5);
    const std::uint64_t size =
        std::min({request.lease->size, Count(mac, 2) - macNext + 1, Count(sn, 4) - snNext + 1});
    const std::int64_t step = static_cast<std::int64_t>(size);
    for (const auto& [table, id] :
         {std::pair{"mac_ranges", mac.Integer(0)}, std::pair{"sn_ranges", sn.Integer(0)}}) {
      Result<std::vector<Row>> moved =
          db_->Query(std::string("UPDATE ") + table + " SET next = next + ? WHERE id = ?", {step, id});
      if (!moved) return moved.error();
    }
    Lease lease{request.lease->id,
                {macNext, macNext + size - 1},
                {sn.Text(1), static_cast<int>(sn.Integer(2)), snNext, snNext + size - 1}};
    Result<std::vector<Row>> recorded = db_->Query(
        "INSERT INTO leases (lease, station, role, machine, mac_first, mac_last, sn_prefix, sn_width, "
        "sn_first, sn_last, time) VALUES (?, ?, " +
            db_->RoleSql() + ", ?, ?, ?, ?, ?, ?, ?, " + db_->NowSql() + ")",
        {lease.id, request.station, request.lease->machine, static_cast<std::int64_t>(lease.macs.first),
         static_cast<std::int64_t>(lease.macs.last), lease.sns.prefix, std::int64_t{lease.sns.width},
         static_cast<std::int64_t>(lease.sns.first), static_cast<std::int64_t>(lease.sns.last)});
    if (!recorded) return recorded.error();
    // The unit's ranges as they are after: a running-out warning counts
    // leased values as handed out.
    const MacRange macRange{Count(mac, 1), Count(mac, 2)};
    const SnRange snRange{sn.Text(1), static_cast<int>(sn.Integer(2)), Count(sn, 3), Count(sn, 4)};
    for (auto [summary, first] : {std::pair{&reservation.macs, macRange.Text(macRange.first)},
                                  std::pair{&reservation.sns, snRange.Text(snRange.first)}}) {
      if (summary->first != first) continue;
      summary->handedOut += size;
      summary->left -= size;
    }
    reservation.lease = lease;
    return {};
  }

  Result<bool> Owner() {
    Result<std::vector<Row>> owner = db_->Query("SELECT " + db_->OwnerSql());
    if (!owner) return owner.error();
    const std::string said = owner->front().Text(0);
    return said == "1" || said == "t" || said == "true";
  }

  // Refuses a role that does not own the ledger, which a station's does not.
  Result<> OwnerOnly(const std::string& what) {
    Result<bool> owner = Owner();
    if (!owner) return owner.error();
    if (!*owner)
      return Refused("only the ledger's owner " + what + "; this role is not the owner (a station's, say)");
    return {};
  }

  // Runs work in a write transaction, committed durably when it succeeds and
  // rolled back otherwise.
  Result<> Transaction(bool lock, const std::function<Result<>()>& work) {
    if (Result<> begun = db_->Begin(lock); !begun) return begun;
    Result<> done = work();
    if (done) done = db_->Commit();
    if (!done) db_->Rollback();
    return done;
  }

  Result<> Run(const std::vector<std::string>& statements) {
    for (const std::string& statement : statements) {
      if (Result<std::vector<Row>> done = db_->Query(statement); !done) return done.error();
    }
    return {};
  }

  // A ledger made by an earlier quorvix-cli is brought to this version step
  // by step; its records stay as they are. Once: a second opener at the same
  // time finds it upgraded.
  Result<> Upgrade() {
    return Transaction(true, [&]() -> Result<> {
      Result<std::vector<Row>> version = db_->Query("SELECT version FROM quorvix_ledger");
      if (!version) return version.error();
      const std::int64_t found = version->empty() ? kVersion : version->front().Integer(0);
      std::vector<std::string> statements;
      if (found < 2) {
        statements = db_->UnitsFromVersion1(UnitsTable(db_->IdColumn()));
        statements.insert(statements.end(), kUnitIndexes.begin(), kUnitIndexes.end());
        statements.push_back("UPDATE quorvix_ledger SET version = 2");
      }
      if (found < 3) {
        for (const std::vector<std::string>& steps :
             {Version3(*db_), Version4(*db_), db_->Guards(RowRules(*db_))})
          statements.insert(statements.end(), steps.begin(), steps.end());
      } else if (found < 4) {
        for (const std::vector<std::string>& steps :
             {Version4(*db_), db_->RenewedGuards(RowRules(*db_), {"leases", "lease_ends"})})
          statements.insert(statements.end(), steps.begin(), steps.end());
      }
      if (found < kVersion)
        statements.push_back("UPDATE quorvix_ledger SET version = " + std::to_string(kVersion));
      return Run(statements);
    });
  }

  // The units a unit written replaces: those whose values its file held
  // before, as they were when it was reserved (an earlier id), and not
  // replaced yet; no unit ever joins them.
  static constexpr const char* kReplaced =
      "id < ? AND state <> 'replaced' AND (mac = (SELECT mac_before FROM units WHERE id = ?) "
      "OR sn = (SELECT sn_before FROM units WHERE id = ?))";

  // Records a reserved or failed unit written, at path where one is given,
  // and, replacing, the units it replaces replaced by it; already where the
  // unit had left those states.
  Result<Recorded> Written(std::int64_t unit, const std::optional<std::string>& path, bool replacing) {
    Result<Recorded> written = Changed(
        path ? db_->Query(
                   "UPDATE units SET state = 'written', path = ?, restored = NULL WHERE id = ? AND state IN "
                   "('reserved', 'failed') RETURNING id",
                   {*path, unit})
             : db_->Query("UPDATE units SET state = 'written', restored = NULL WHERE id = ? AND state IN "
                          "('reserved', 'failed') RETURNING id",
                          {unit}));
    if (!written || *written == Recorded::already || !replacing) return written;
    Result<std::vector<Row>> replaced =
        db_->Query(std::string("UPDATE units SET state = 'replaced', replaced_by = ? WHERE ") + kReplaced,
                   {unit, unit, unit, unit});
    if (!replaced) return replaced.error();
    return Recorded::done;
  }

  // Written, with the units it replaces in the same transaction. A unit
  // that replaces none, as every one but a reassign's, is one statement with
  // no transaction around it: a station stopped while recording it holds no
  // transaction open, for the server to end after a few seconds.
  Result<Recorded> Recording(std::int64_t unit, const std::optional<std::string>& path) {
    Result<std::vector<Row>> replaces =
        db_->Query(std::string("SELECT id FROM units WHERE ") + kReplaced + " LIMIT 1", {unit, unit, unit});
    if (!replaces) return replaces.error();
    if (replaces->empty()) return Written(unit, path, false);
    Recorded recorded = Recorded::done;
    Result<> done = Transaction(false, [&]() -> Result<> {
      Result<Recorded> written = Written(unit, path, true);
      if (!written) return written.error();
      recorded = *written;
      return {};
    });
    if (!done) return done.error();
    return recorded;
  }

  static Result<Recorded> Changed(const Result<std::vector<Row>>& rows) {
    if (!rows) return rows.error();
    return rows->empty() ? Recorded::already : Recorded::done;
  }

  template <class Table>
  Result<> Add(const typename Table::Range& range) {
    std::vector<Parameter> values = Table::Values(range);
    values.push_back(static_cast<std::int64_t>(range.first));  // the next value
    std::string places;
    for (std::size_t i = 0; i < values.size(); ++i) places += i == 0 ? "?" : ", ?";
    Result<std::vector<Row>> added = db_->Query(std::string("INSERT INTO ") + Table::kTable + " (" +
                                                    Table::kColumns + ", next) VALUES (" + places + ")",
                                                values);
    if (!added) return added.error();
    return {};
  }

  // Refuses a range that overlaps one the ledger has.
  template <class Table>
  Result<> Unclaimed(const std::optional<typename Table::Range>& range) {
    if (!range) return {};
    Result<std::vector<Row>> had =
        db_->Query(std::string("SELECT ") + Table::kColumns + " FROM " + Table::kTable);
    if (!had) return had.error();
    for (const Row& row : *had) {
      const typename Table::Range other = Table::Of(row, 0);
      if (other.Overlaps(*range)) {
        return Refused(std::string("the ") + Table::kNoun + " range overlaps " + other.Text(other.first) +
                       "-" + other.Text(other.last) + ", which the ledger has");
      }
    }
    return {};
  }

  // The next value of the oldest range that has any left, taken; and that
  // range, as it is after.
  template <class Table>
  Result<std::string> Take(RangeSummary& from) {
    const std::string table = Table::kTable;
    Result<std::vector<Row>> taken =
        db_->Query("UPDATE " + table + " SET next = next + 1 WHERE id = (SELECT id FROM " + table +
                   " WHERE next <= last ORDER BY id LIMIT 1) RETURNING next - 1, " + Table::kColumns);
    if (!taken) return taken.error();
    if (taken->empty()) {
      Result<std::vector<Row>> total = db_->Query("SELECT sum(last - first + 1) FROM " + table);
      const std::string count = total && !total->empty() ? Grouped(Count(total->front(), 0)) : "all";
      return Refused("every range is used up: " + count + " of " + count + " " + Table::kNoun +
                     "s handed out (ledger extend adds a range)");
    }
    const Row& row = taken->front();
    const typename Table::Range range = Table::Of(row, 1);
    const std::uint64_t value = Count(row, 0);
    from = {Table::kKind, range.Text(range.first), range.Text(range.last), value - range.first + 1,
            range.last - value};
    return range.Text(value);
  }

  template <class Table>
  Result<> Summaries(Summary& summary, const std::string& now) {
    Result<std::vector<Row>> ranges = db_->Query(std::string("SELECT ") + Table::kColumns + ", next FROM " +
                                                 Table::kTable + " ORDER BY id");
    if (!ranges) return ranges.error();
    for (const Row& row : *ranges) {
      const typename Table::Range range = Table::Of(row, 0);
      const std::uint64_t next = Count(row, row.columns.size() - 1);
      RangeSummary& out = summary.ranges.emplace_back(RangeSummary{Table::kKind, range.Text(range.first),
                                                                   range.Text(range.last), next - range.first,
                                                                   range.last + 1 - next});
      if (Result<> counted = CountRecent(out, now); !counted) return counted;
    }
    return {};
  }

  std::unique_ptr<Database> db_;
  Reconnect reconnect_;
};

}  // namespace

Result<std::unique_ptr<Ledger>> LedgerOn(std::unique_ptr<Database> database, bool create,
                                         Reconnect reconnect) {
  auto ledger = std::make_unique<SqlLedger>(std::move(database), std::move(reconnect));
  if (Result<> checked = ledger->Check(create); !checked) return checked.error();
  return std::unique_ptr<Ledger>(std::move(ledger));
}

}  // namespace ledger
