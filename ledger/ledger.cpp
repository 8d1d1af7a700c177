// Which database a ledger is kept in: a postgresql:// URL names a server,
// anything else an SQLite file.
#include "ledger/ledger.h"

#include "files/host.h"
#include "files/network_folder.h"
#include "files/utf8.h"
#include "ledger/database.h"
#include "ledger/server_url.h"

namespace ledger {

std::string_view Name(Replication replication) {
  switch (replication) {
    case Replication::asynchronous:
      return "asynchronous";
    case Replication::synchronous:
      return "synchronous";
    case Replication::none:
      break;
  }
  return "none";
}

std::string LedgerName(const std::string& where) {
  if (IsServerUrl(where)) return Redacted(where);
  return Utf8(AbsolutePath(Wide(where)));
}

Result<std::unique_ptr<Ledger>> OpenLedger(const std::string& where, bool create) {
  const auto open = [where, create]() -> Result<std::unique_ptr<Database>> {
    if (IsServerUrl(where)) return OpenServer(where);
    // SQLite's locks do not hold on a network file system.
    if (OnNetworkFileSystem(Wide(where))) {
      return Refusal(
          L"this is on a network file system, where SQLite's locking does not hold: a ledger that several "
          L"stations share belongs on a PostgreSQL server (postgresql://...)");
    }
    return OpenSqlite(where, create);
  };
  Result<std::unique_ptr<Database>> database = open();
  if (!database) return database.error();
  return LedgerOn(std::move(*database), create, open);
}

}  // namespace ledger
