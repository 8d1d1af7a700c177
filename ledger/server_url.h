#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vendor/result.h"

namespace ledger {

// A PostgreSQL server as its own clients name one, every part optional:
//
//     postgresql://[user[:password]@][host][:port][/database][?name=value&...]
//
// A part left out is left to PostgreSQL's environment and files (PGHOST,
// PGUSER, PGPASSWORD, the password file, a service), as psql leaves it.
struct ServerUrl {
  std::optional<std::string> user, password, host, port, database;
  std::vector<std::pair<std::string, std::string>> query;  // in the order given

  std::optional<std::string> Option(std::string_view name) const;
};

// The query's names a ledger takes: TLS and a service.
inline constexpr std::string_view kServerOptions[] = {"sslmode", "sslrootcert", "sslcert", "sslkey",
                                                      "service"};
inline constexpr std::string_view kSslModes[] = {"disable", "allow",     "prefer",
                                                 "require", "verify-ca", "verify-full"};

bool IsServerUrl(std::string_view text);

// Whether mode is one of kSslModes, spelled exactly so: libpq refuses any
// other, and psqlODBC takes one it does not know for disable.
bool IsSslMode(std::string_view mode);

// The URL's parts, percent-decoded; a host in brackets is an IPv6 address.
// A password may hold '/', '?' and '@' as they stand: the user's part ends
// at the last '@' before the query (a '?' followed by a name of
// kServerOptions and '='). A control character in any part is refused: a
// NUL would cut the connection string short.
Result<ServerUrl> ParseServerUrl(std::string_view text);

// The URL as messages name it: a password written into it shows as ***,
// and so does everything before the last '@' of a URL that does not parse;
// control characters show as '?'.
std::string Redacted(std::string_view text);

}  // namespace ledger
