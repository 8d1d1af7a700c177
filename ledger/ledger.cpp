// Which database a ledger is kept in: a postgresql:// URL names a server,
// anything else an SQLite file.
#include "ledger/ledger.h"

#include "files/network_folder.h"
#include "files/utf8.h"
#include "ledger/database.h"

namespace {

bool IsServerUrl(const std::string& where) {
  return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0;
}

}  // namespace

std::string LedgerName(const std::string& where) {
  const std::size_t scheme = where.find("://"), at = where.rfind('@');
  if (scheme == std::string::npos || at == std::string::npos || at < scheme) return where;
  const std::size_t colon = where.find(':', scheme + 3);
  if (colon == std::string::npos || colon > at) return where;
  return where.substr(0, colon + 1) + "***" + where.substr(at);
}

Result<std::unique_ptr<Ledger>> OpenLedger(const std::string& where, bool create) {
  Result<std::unique_ptr<Database>> database = [&]() -> Result<std::unique_ptr<Database>> {
    if (IsServerUrl(where)) return OpenServer(where);
    // SQLite's locks do not hold on a network file system.
    if (OnNetworkFileSystem(Wide(where))) {
      return SystemFailure(
          Wide(where + " is on a network file system, where SQLite's locking does not hold: a ledger "
                       "that several stations share belongs on a PostgreSQL server (postgresql://...)"));
    }
    return OpenSqlite(where, create);
  }();
  if (!database) return database.error();
  return LedgerOn(std::move(*database), create);
}
