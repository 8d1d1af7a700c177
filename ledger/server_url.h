#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vendor/result.h"

namespace ledger {

// A PostgreSQL server, or several, as its own clients name them, every
// part optional:
//
//     postgresql://[user[:password]@][host][:port][,host[:port]...][/database][?name=value&...]
//
// A part left out is left to PostgreSQL's environment and files (PGHOST,
// PGUSER, PGPASSWORD, the password file, a service), as psql leaves it.
struct ServerHost {
  std::optional<std::string> host, port;

  bool operator==(const ServerHost&) const = default;
};

struct ServerUrl {
  std::optional<std::string> user, password, database;
  std::vector<ServerHost> hosts;                           // in the order given; none when none is named
  std::vector<std::pair<std::string, std::string>> query;  // in the order given

  std::optional<std::string> Option(std::string_view name) const;
};

// The query's names a ledger takes: TLS, a service, which server of a list
// to take, and how long to wait for each.
inline constexpr std::string_view kServerOptions[] = {
    "sslmode", "sslrootcert", "sslcert", "sslkey", "service", "target_session_attrs", "connect_timeout"};
inline constexpr std::string_view kSslModes[] = {"disable", "allow",     "prefer",
                                                 "require", "verify-ca", "verify-full"};
inline constexpr std::string_view kSessionAttrs[] = {"any",     "read-write", "read-only",
                                                     "primary", "standby",    "prefer-standby"};
// A ledger is written to: a standby, which refuses every write, is never taken.
inline constexpr std::string_view kDefaultSessionAttrs = "read-write";
inline constexpr int kDefaultConnectTimeout = 10;  // seconds, per server tried

bool IsServerUrl(std::string_view text);

// Whether mode is one of kSslModes, spelled exactly so: libpq refuses any
// other, and psqlODBC takes one it does not know for disable.
bool IsSslMode(std::string_view mode);

// The URL's parts, percent-decoded; a host in brackets is an IPv6 address.
// target_session_attrs is one of kSessionAttrs exactly, connect_timeout a
// whole number of seconds from 1, as libpq takes them.
// A password may hold '/', '?' and '@' as they stand: the user's part ends
// at the last '@' before the query (a '?' followed by a name of
// kServerOptions and '='). A control character in any part is refused: a
// NUL would cut the connection string short.
Result<ServerUrl> ParseServerUrl(std::string_view text);

// The URL as messages name it: a password written into it shows as ***,
// and so does everything before the last '@' of a URL that does not parse;
// control characters show as '?'.
std::string Redacted(std::string_view text);

// A server as libpq and a message name it: host:port, an IPv6 address in
// brackets, either part left out when the URL leaves it out.
std::string HostText(const ServerHost& server);

// The URL's servers, each as HostText names it, joined by ','.
std::string HostList(const ServerUrl& url);

// The seconds to wait for each server: the URL's connect_timeout, else kDefaultConnectTimeout.
int ConnectTimeout(const ServerUrl& url);

}  // namespace ledger
