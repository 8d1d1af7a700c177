#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "vendor/result.h"

// What the ledger asks of an SQL database: statements with ? parameters,
// rows read as text, and write transactions that hold the ledger's write
// lock, so that two of them never interleave. SQLite serves one station,
// a PostgreSQL server (through ODBC) a whole line. A failure that a later
// try may not meet (the server out of reach, the ledger busy past its
// timeout) has the cause retry.
namespace ledger {

using Parameter = std::variant<std::nullptr_t, std::int64_t, std::string>;

struct Row {
  std::vector<std::optional<std::string>> columns;  // nullopt for NULL

  std::string Text(std::size_t column) const { return columns.at(column).value_or(""); }
  std::int64_t Integer(std::size_t column) const;
  std::optional<std::int64_t> Optional(std::size_t column) const;
};

// A change of a row that the database refuses: before event (INSERT,
// UPDATE or DELETE) on table, when refusedWhen holds of the row (NEW and
// OLD, as triggers name it), with why as the error.
struct RowRule {
  std::string table, event, refusedWhen, why;
};

class Database {
 public:
  virtual ~Database() = default;
  // Runs one statement; its rows, none for one that returns none. Outside a
  // transaction it commits by itself.
  virtual Result<std::vector<Row>> Query(const std::string& sql,
                                         const std::vector<Parameter>& parameters = {}) = 0;
  // A write transaction; with lock it holds the ledger's write lock until it
  // ends (before init there is no ledger yet to lock).
  virtual Result<> Begin(bool lock) = 0;
  virtual Result<> Commit() = 0;
  virtual void Rollback() = 0;
  // The column type of a table's own row number.
  virtual std::string IdColumn() const = 0;
  // What turns the units table of a ledger of the first version into the
  // second's, which createUnits makes: the state replaced, and the unit that
  // replaced a unit.
  virtual std::vector<std::string> UnitsFromVersion1(const std::string& createUnits) const = 0;

  // SQL that names, in the database's own terms: the time now as the ledger
  // writes times (UTC ISO 8601, to the second), by the server's clock where
  // there is a server; the role connected ('' where there are no roles);
  // whether that role owns the ledger (or, before there is one, may make
  // it); a number as a MAC's twelve hexadecimal digits; and a number as
  // width decimal digits, zero-padded.
  virtual std::string NowSql() const = 0;
  virtual std::string RoleSql() const = 0;
  virtual std::string OwnerSql() const = 0;
  virtual std::string MacTextSql(const std::string& number) const = 0;
  virtual std::string DigitsSql(const std::string& number, const std::string& width) const = 0;
  // SQL whose one row names the ledger's replication as Name(Replication) does.
  virtual std::string ReplicationSql() const = 0;
  // The triggers that keep rules on the ledger's rows whoever writes them,
  // and write every change of a unit into its history.
  virtual std::vector<std::string> Guards(const std::vector<RowRule>& rules) const = 0;
  // The same rules made anew over those of an earlier version, which they
  // keep in their places and add to; tables are those new to this version.
  virtual std::vector<std::string> RenewedGuards(const std::vector<RowRule>& rules,
                                                 const std::vector<std::string>& tables) const = 0;
  // Gives role what a station needs and nothing more, and takes from
  // everyone else what they were given by default; refused where the
  // database has no roles.
  virtual Result<> GrantStation(const std::string& role) = 0;
};

class Ledger;

// A new connection to the same database.
using Reconnect = std::function<Result<std::unique_ptr<Database>>()>;

// The ledger kept in database; for init the database must hold none yet.
Result<std::unique_ptr<Ledger>> LedgerOn(std::unique_ptr<Database> database, bool create,
                                         Reconnect reconnect);

// An SQLite file: made when create is true, else it must exist.
Result<std::unique_ptr<Database>> OpenSqlite(const std::string& path, bool create);

// A PostgreSQL server, through the system's ODBC driver manager and
// PostgreSQL's Unicode driver (server_url.h names it).
Result<std::unique_ptr<Database>> OpenServer(const std::string& url);

}  // namespace ledger
