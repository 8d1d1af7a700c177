// The ledger's rules, the same on every database: values taken in order from
// the oldest range that has any left, in transactions that hold the ledger's
// write lock, so two assigns never interleave; unique MACs and SNs besides.
// Recording how a unit's write ended changes that unit's row alone, and only
// while it is reserved (or failed, for a write found to have landed), so no
// written unit is ever written over.
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

constexpr int kVersion = 2;
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

// The units table of the current version.
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

std::vector<std::string> Schema(const std::string& id) {
  std::vector<std::string> schema = {
      "CREATE TABLE quorvix_ledger (version INTEGER NOT NULL)",
      "INSERT INTO quorvix_ledger VALUES (" + std::to_string(kVersion) + ")",
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

constexpr const char* kUnitColumns =
    "id, mac, sn, path, station, host, time, state, mac_before, sn_before, restored, "
    "(SELECT successor.mac FROM units successor WHERE successor.id = units.replaced_by)";

Unit UnitOf(const Row& row) {
  const std::optional<std::int64_t> restored = row.Optional(10);
  return {row.Integer(0),
          row.Text(1),
          row.Text(2),
          row.Text(3),
          row.Text(4),
          row.Text(5),
          row.Text(6),
          ParseUnitState(row.Text(7)).value_or(UnitState::reserved),
          row.Text(8),
          row.Text(9),
          restored ? std::optional<bool>(*restored != 0) : std::nullopt,
          row.columns.at(11)};
}

// Why a file whose values a unit has is refused.
Failure Owned(const Row& owner, const Request& request) {
  const bool mac = owner.Text(1) == request.macBefore;
  const std::string state = owner.Text(3);
  std::string why = "already holds " + (mac ? "MAC " + owner.Text(1) : "SN " + owner.Text(2)) +
                    " assigned at " + owner.Text(5) + " by station " + owner.Text(4) + " (unit " + state +
                    ")";
  if (state == "reserved" || state == "failed") why += "; ledger reconcile LEDGER FILE records it";
  return Refused(why + "; --reassign gives it new values");
}

class SqlLedger final : public Ledger {
 public:
  explicit SqlLedger(std::unique_ptr<Database> database) : db_(std::move(database)) {}

  // A database that holds a ledger, of this version or made so; none yet for init.
  Result<> Check(bool create) {
    Result<std::vector<Row>> version = db_->Query("SELECT version FROM quorvix_ledger");
    if (create && version)
      return Failure(Failure::Cause::exists, L"a ledger is there already: init makes only a new one");
    if (create) return {};
    if (!version && version.error().cause == Failure::Cause::retry) return version.error();
    if (!version || version->empty())
      return Refused("this is no Quorvix ledger, or it is damaged" +
                     (version ? std::string() : ": " + Utf8(version.error().text)));
    const std::int64_t found = version->front().Integer(0);
    if (found == 1) return Upgrade();
    if (found != kVersion)
      return Refused("this ledger is of version " + std::to_string(found) +
                     ", which this quorvix-cli does not know");
    return {};
  }

  Result<> Init(const MacRange& macs, const SnRange& sns) override {
    return Transaction(false, [&]() -> Result<> {
      if (Result<> made = Run(Schema(db_->IdColumn())); !made) return made;
      if (Result<> added = Add<MacTable>(macs); !added) return added;
      return Add<SnTable>(sns);
    });
  }

  Result<> Extend(const std::optional<MacRange>& macs, const std::optional<SnRange>& sns) override {
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
    Result<> reserved = Transaction(true, [&]() -> Result<> {
      Result<std::vector<Row>> owners = db_->Query(
          "SELECT id, mac, sn, state, station, time FROM units WHERE (mac = ? OR sn = ?) AND state <> "
          "'replaced' "
          "ORDER BY id",
          {request.macBefore, request.snBefore});
      if (!owners) return owners.error();
      if (!owners->empty() && !request.reassign) return Owned(owners->front(), request);
      Result<std::string> mac = Take<MacTable>(reservation.macs);
      if (!mac) return mac.error();
      Result<std::string> sn = Take<SnTable>(reservation.sns);
      if (!sn) return sn.error();
      unit.mac = *mac;
      unit.sn = *sn;
      unit.path = request.path;
      unit.station = request.station;
      unit.host = request.host;
      unit.time = request.time;
      unit.macBefore = request.macBefore;
      unit.snBefore = request.snBefore;
      Result<std::vector<Row>> inserted = db_->Query(
          "INSERT INTO units (mac, sn, path, station, host, time, state, mac_before, sn_before) "
          "VALUES (?, ?, ?, ?, ?, ?, 'reserved', ?, ?) RETURNING id",
          {unit.mac, unit.sn, unit.path, unit.station, unit.host, unit.time, unit.macBefore, unit.snBefore});
      if (!inserted) return inserted.error();
      unit.id = inserted->at(0).Integer(0);
      for (const Row& owner : *owners) {
        Result<std::vector<Row>> replaced = db_->Query(
            "UPDATE units SET state = 'replaced', replaced_by = ? WHERE id = ?", {unit.id, owner.Integer(0)});
        if (!replaced) return replaced.error();
      }
      return {};
    });
    if (!reserved) return reserved.error();
    return reservation;
  }

  Result<Recorded> Settle(std::int64_t unit, UnitState state, std::optional<bool> restored) override {
    Parameter flag = nullptr;
    if (restored) flag = std::int64_t{*restored};
    const std::string from = state == UnitState::written ? "('reserved', 'failed')" : "('reserved')";
    return Changed(db_->Query(
        "UPDATE units SET state = ?, restored = ? WHERE id = ? AND state IN " + from + " RETURNING id",
        {StateText(state), flag, unit}));
  }

  Result<Recorded> Found(std::int64_t unit, const std::string& path) override {
    return Changed(
        db_->Query("UPDATE units SET state = 'written', path = ?, restored = NULL WHERE id = ? AND state IN "
                   "('reserved', "
                   "'failed') RETURNING id",
                   {path, unit}));
  }

  Result<Summary> Summarize(const std::string& now) override {
    Summary summary;
    if (Result<> read = Summaries<MacTable>(summary, now); !read) return read.error();
    if (Result<> read = Summaries<SnTable>(summary, now); !read) return read.error();
    Result<std::vector<Row>> states = db_->Query("SELECT state, count(*) FROM units GROUP BY state");
    if (!states) return states.error();
    for (const Row& row : *states) {
      if (std::optional<UnitState> state = ParseUnitState(row.Text(0)))
        summary.units[static_cast<std::size_t>(*state)] = Count(row, 1);
    }
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
    const std::string sql = std::string("SELECT ") + kUnitColumns + " FROM units" + where +
                            " ORDER BY id LIMIT " + std::to_string(kPage);
    for (;;) {
      Result<std::vector<Row>> rows = db_->Query(sql, parameters);
      if (!rows) return rows.error();
      for (const Row& row : *rows) {
        if (Result<> visited = visit(UnitOf(row)); !visited) return visited;
      }
      if (rows->size() < kPage) return {};
      parameters[0] = rows->back().Integer(0);
    }
  }

 private:
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

  // A ledger of the first version, made by an earlier quorvix-cli, takes the
  // second's units table and indexes; its records stay as they are. Once:
  // a station that opened it at the same time finds it upgraded.
  Result<> Upgrade() {
    return Transaction(true, [&]() -> Result<> {
      Result<std::vector<Row>> version = db_->Query("SELECT version FROM quorvix_ledger");
      if (!version) return version.error();
      if (!version->empty() && version->front().Integer(0) == kVersion) return {};
      std::vector<std::string> statements = db_->UnitsFromVersion1(UnitsTable(db_->IdColumn()));
      statements.insert(statements.end(), kUnitIndexes.begin(), kUnitIndexes.end());
      statements.push_back("UPDATE quorvix_ledger SET version = " + std::to_string(kVersion));
      return Run(statements);
    });
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
};

}  // namespace

Result<std::unique_ptr<Ledger>> LedgerOn(std::unique_ptr<Database> database, bool create) {
  auto ledger = std::make_unique<SqlLedger>(std::move(database));
  if (Result<> checked = ledger->Check(create); !checked) return checked.error();
  return std::unique_ptr<Ledger>(std::move(ledger));
}

}  // namespace ledger
