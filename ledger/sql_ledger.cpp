// The ledger's rules, the same on every database: values taken in order from
// the oldest range that has any left, in transactions that hold the ledger's
// write lock, so two assigns never interleave; unique MACs and SNs besides.
#include <charconv>
#include <functional>

#include "files/utf8.h"
#include "ledger/database.h"
#include "ledger/ledger.h"

std::int64_t Row::Integer(std::size_t column) const {
  const std::string text = Text(column);
  std::int64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::optional<bool> Row::Flag(std::size_t column) const {
  if (!columns.at(column)) return std::nullopt;
  return Integer(column) != 0;
}

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

std::uint64_t Count(const Row& row, std::size_t column) {
  return static_cast<std::uint64_t>(row.Integer(column));
}

MacRange MacRangeOf(const Row& row) { return {Count(row, 0), Count(row, 1)}; }
SnRange SnRangeOf(const Row& row) {
  return {row.Text(0), static_cast<int>(row.Integer(1)), Count(row, 2), Count(row, 3)};
}

std::vector<std::string> Schema(const std::string& id) {
  return {
      "CREATE TABLE quorvix_ledger (version INTEGER NOT NULL)",
      "INSERT INTO quorvix_ledger VALUES (1)",
      "CREATE TABLE mac_ranges (id " + id +
          ", first BIGINT NOT NULL, last BIGINT NOT NULL, next BIGINT NOT NULL)",
      "CREATE TABLE sn_ranges (id " + id +
          ", prefix TEXT NOT NULL, width INTEGER NOT NULL, first BIGINT NOT NULL, last BIGINT NOT NULL, "
          "next BIGINT NOT NULL)",
      "CREATE TABLE units (id " + id +
          ", mac TEXT NOT NULL UNIQUE, sn TEXT NOT NULL UNIQUE, path TEXT NOT NULL, station TEXT NOT NULL, "
          "host TEXT NOT NULL, time TEXT NOT NULL, "
          "state TEXT NOT NULL CHECK (state IN ('reserved', 'written', 'failed')), "
          "mac_before TEXT NOT NULL, sn_before TEXT NOT NULL, restored INTEGER)",
  };
}

class SqlLedger final : public Ledger {
 public:
  explicit SqlLedger(std::unique_ptr<Database> database) : db_(std::move(database)) {}

  // A database that holds a ledger; none yet for init.
  Result<> Check(bool create) {
    Result<std::vector<Row>> version = db_->Query("SELECT version FROM quorvix_ledger");
    if (create && version) {
      return Failure(Failure::Cause::exists, L"a ledger is there already: init makes only a new one");
    }
    if (!create && (!version || version->empty())) {
      const std::string why = version ? "" : ": " + Utf8(version.error().text);
      return Refused("this is no Quorvix ledger, or it is damaged (ledger init makes one)" + why);
    }
    return {};
  }

  Result<> Init(const MacRange& macs, const SnRange& sns) override {
    return Transaction(false, [&]() -> Result<> {
      for (const std::string& statement : Schema(db_->IdColumn())) {
        if (Result<std::vector<Row>> made = db_->Query(statement); !made) return made.error();
      }
      return AddRanges(macs, sns);
    });
  }

  Result<> Extend(const std::optional<MacRange>& macs, const std::optional<SnRange>& sns) override {
    return Transaction(true, [&]() -> Result<> {
      if (macs) {
        Result<std::vector<Row>> ranges = db_->Query("SELECT first, last FROM mac_ranges");
        if (!ranges) return ranges.error();
        for (const Row& row : *ranges) {
          const MacRange had = MacRangeOf(row);
          if (had.Overlaps(*macs)) {
            return Refused("the MAC range overlaps " + MacText(had.first) + "-" + MacText(had.last) +
                           ", which the ledger has");
          }
        }
      }
      if (sns) {
        Result<std::vector<Row>> ranges = db_->Query("SELECT prefix, width, first, last FROM sn_ranges");
        if (!ranges) return ranges.error();
        for (const Row& row : *ranges) {
          const SnRange had = SnRangeOf(row);
          if (had.Overlaps(*sns)) {
            return Refused("the SN range overlaps " + had.Text(had.first) + "-" + had.Text(had.last) +
                           ", which the ledger has");
          }
        }
      }
      return AddRanges(macs, sns);
    });
  }

  Result<Unit> Reserve(const Request& request) override {
    Unit unit;
    Result<> reserved = Transaction(true, [&]() -> Result<> {
      if (!request.reassign) {
        Result<std::vector<Row>> owner = db_->Query(
            "SELECT mac, sn, time, station FROM units WHERE state = 'written' AND (mac = ? OR sn = ?) "
            "ORDER BY id LIMIT 1",
            {request.macBefore, request.snBefore});
        if (!owner) return owner.error();
        if (!owner->empty()) {
          const Row& row = owner->front();
          const bool mac = row.Text(0) == request.macBefore;
          return Refused("already holds " + (mac ? "MAC " + row.Text(0) : "SN " + row.Text(1)) +
                         " assigned at " + row.Text(2) + " by station " + row.Text(3) +
                         " (--reassign gives it new values)");
        }
      }
      Result<std::string> mac = Take("mac_ranges", "MACs");
      if (!mac) return mac.error();
      Result<std::string> sn = Take("sn_ranges", "SNs");
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
      Result<std::vector<Row>> inserted = db_->Query(
          "INSERT INTO units (mac, sn, path, station, host, time, state, mac_before, sn_before) "
          "VALUES (?, ?, ?, ?, ?, ?, 'reserved', ?, ?) RETURNING id",
          {unit.mac, unit.sn, unit.path, unit.station, unit.host, unit.time, unit.macBefore, unit.snBefore});
      if (!inserted) return inserted.error();
      unit.id = inserted->at(0).Integer(0);
      return {};
    });
    if (!reserved) return reserved.error();
    return unit;
  }

  Result<> Settle(std::int64_t unit, const std::string& state, std::optional<bool> restored) override {
    const Parameter flag = restored ? Parameter(std::int64_t{*restored}) : Parameter(nullptr);
    return Transaction(true, [&]() -> Result<> {
      Result<std::vector<Row>> updated =
          db_->Query("UPDATE units SET state = ?, restored = ? WHERE id = ?", {state, flag, unit});
      if (!updated) return updated.error();
      return {};
    });
  }

  Result<Status> Summary() override {
    Status status;
    Result<std::vector<Row>> macs = db_->Query("SELECT first, last, next FROM mac_ranges ORDER BY id");
    if (!macs) return macs.error();
    for (const Row& row : *macs) {
      const MacRange range = MacRangeOf(row);
      const std::uint64_t next = Count(row, 2);
      status.ranges.push_back(
          {"mac", MacText(range.first), MacText(range.last), next - range.first, range.last + 1 - next});
    }
    Result<std::vector<Row>> sns =
        db_->Query("SELECT prefix, width, first, last, next FROM sn_ranges ORDER BY id");
    if (!sns) return sns.error();
    for (const Row& row : *sns) {
      const SnRange range = SnRangeOf(row);
      const std::uint64_t next = Count(row, 4);
      status.ranges.push_back(
          {"sn", range.Text(range.first), range.Text(range.last), next - range.first, range.last + 1 - next});
    }
    Result<std::vector<Row>> states = db_->Query("SELECT state, count(*) FROM units GROUP BY state");
    if (!states) return states.error();
    for (const Row& row : *states) {
      const std::string state = row.Text(0);
      (state == "reserved"  ? status.reserved
       : state == "written" ? status.written
                            : status.failed) = Count(row, 1);
    }
    return status;
  }

  Result<std::vector<Unit>> Units(const std::optional<std::string>& state) override {
    const std::string units =
        "SELECT id, mac, sn, path, station, host, time, state, mac_before, sn_before, restored FROM units";
    Result<std::vector<Row>> rows = state ? db_->Query(units + " WHERE state = ? ORDER BY id", {*state})
                                          : db_->Query(units + " ORDER BY id");
    if (!rows) return rows.error();
    std::vector<Unit> found;
    for (const Row& row : *rows) {
      found.push_back({row.Integer(0), row.Text(1), row.Text(2), row.Text(3), row.Text(4), row.Text(5),
                       row.Text(6), row.Text(7), row.Text(8), row.Text(9), row.Flag(10)});
    }
    return found;
  }

 private:
  // Runs work in a write transaction, committed durably when it succeeds and
  // rolled back otherwise.
  Result<> Transaction(bool ledgerExists, const std::function<Result<>()>& work) {
    if (Result<> begun = db_->Begin(ledgerExists); !begun) return begun;
    Result<> done = work();
    if (done) done = db_->Commit();
    if (!done) db_->Rollback();
    return done;
  }

  Result<> AddRanges(const std::optional<MacRange>& macs, const std::optional<SnRange>& sns) {
    if (macs) {
      const auto first = static_cast<std::int64_t>(macs->first), last = static_cast<std::int64_t>(macs->last);
      Result<std::vector<Row>> added =
          db_->Query("INSERT INTO mac_ranges (first, last, next) VALUES (?, ?, ?)", {first, last, first});
      if (!added) return added.error();
    }
    if (sns) {
      const auto first = static_cast<std::int64_t>(sns->first), last = static_cast<std::int64_t>(sns->last);
      Result<std::vector<Row>> added =
          db_->Query("INSERT INTO sn_ranges (prefix, width, first, last, next) VALUES (?, ?, ?, ?, ?)",
                     {sns->prefix, std::int64_t{sns->width}, first, last, first});
      if (!added) return added.error();
    }
    return {};
  }

  // The next value of the oldest range of table that has any left, taken.
  Result<std::string> Take(const std::string& table, const std::string& what) {
    const bool macs = table == "mac_ranges";
    Result<std::vector<Row>> taken = db_->Query(
        "UPDATE " + table + " SET next = next + 1 WHERE id = (SELECT id FROM " + table +
        " WHERE next <= last ORDER BY id LIMIT 1) RETURNING next - 1" + (macs ? "" : ", prefix, width"));
    if (!taken) return taken.error();
    if (taken->empty()) return Exhausted(table, what);
    const Row& row = taken->front();
    const std::uint64_t value = Count(row, 0);
    if (macs) return MacText(value);
    return SnRange{row.Text(1), static_cast<int>(row.Integer(2)), 0, 0}.Text(value);
  }

  Failure Exhausted(const std::string& table, const std::string& what) {
    Result<std::vector<Row>> total = db_->Query("SELECT sum(last - first + 1) FROM " + table);
    const std::string count = total && !total->empty() ? Grouped(Count(total->front(), 0)) : "all";
    return Refused("every range is used up: " + count + " of " + count + " " + what +
                   " handed out (ledger extend adds a range)");
  }

  std::unique_ptr<Database> db_;
};

}  // namespace

Result<std::unique_ptr<Ledger>> LedgerOn(std::unique_ptr<Database> database, bool create) {
  auto ledger = std::make_unique<SqlLedger>(std::move(database));
  if (Result<> checked = ledger->Check(create); !checked) return checked.error();
  return std::unique_ptr<Ledger>(std::move(ledger));
}
