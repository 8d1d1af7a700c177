#pragma once

#include <cstdint>
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
};

class Ledger;

// The ledger kept in database; for init the database must hold none yet.
Result<std::unique_ptr<Ledger>> LedgerOn(std::unique_ptr<Database> database, bool create);

// An SQLite file: made when create is true, else it must exist.
Result<std::unique_ptr<Database>> OpenSqlite(const std::string& path, bool create);

// A PostgreSQL server, through the system's ODBC driver manager and
// PostgreSQL's Unicode driver (server_url.h names it).
Result<std::unique_ptr<Database>> OpenServer(const std::string& url);

}  // namespace ledger
