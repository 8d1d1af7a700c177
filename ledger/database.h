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
// a PostgreSQL server (through ODBC) a whole line.

using Parameter = std::variant<std::nullptr_t, std::int64_t, std::string>;

struct Row {
  std::vector<std::optional<std::string>> columns;  // nullopt for NULL

  std::string Text(std::size_t column) const { return columns.at(column).value_or(""); }
  std::int64_t Integer(std::size_t column) const;
  std::optional<bool> Flag(std::size_t column) const;
};

class Database {
 public:
  virtual ~Database() = default;
  // Runs one statement; its rows, none for one that returns none.
  virtual Result<std::vector<Row>> Query(const std::string& sql,
                                         const std::vector<Parameter>& parameters = {}) = 0;
  // A transaction that holds the ledger's write lock until it ends; before
  // init there is no ledger yet to lock.
  virtual Result<> Begin(bool ledgerExists) = 0;
  virtual Result<> Commit() = 0;
  virtual void Rollback() = 0;
  // The column type of a table's own row number.
  virtual std::string IdColumn() const = 0;
};

class Ledger;

// The ledger kept in database; for init the database must hold none yet.
Result<std::unique_ptr<Ledger>> LedgerOn(std::unique_ptr<Database> database, bool create);

// An SQLite file: made when create is true, else it must exist.
Result<std::unique_ptr<Database>> OpenSqlite(const std::string& path, bool create);

// A PostgreSQL server, postgresql://[user[:password]@]host[:port]/database[?sslmode=...],
// through the system's ODBC driver manager and PostgreSQL's Unicode driver.
Result<std::unique_ptr<Database>> OpenServer(const std::string& url);
