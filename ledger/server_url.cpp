#include "ledger/server_url.h"

#include <algorithm>

#include "ledger/refused.h"

namespace ledger {

namespace {

constexpr std::string_view kSchemes[] = {"postgresql://", "postgres://"};

std::optional<int> HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}

std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::optional<int> high =
        text[i] == '%' && i + 2 < text.size() ? HexValue(text[i + 1]) : std::nullopt;
    const std::optional<int> low = high ? HexValue(text[i + 2]) : std::nullopt;
    if (low) {
      decoded += static_cast<char>(*high * 16 + *low);
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// The text after the scheme; nothing when there is no scheme of a server.
std::optional<std::string_view> AfterScheme(std::string_view text) {
  for (std::string_view scheme : kSchemes) {
    if (text.substr(0, scheme.size()) == scheme) return text.substr(scheme.size());
  }
  return std::nullopt;
}

std::optional<std::string> NonEmpty(std::string_view part) {
  if (part.empty()) return std::nullopt;
  return PercentDecoded(part);
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// Where the user's part of the text after the scheme ends: the last '@'
// before the query, whose '?' is the first one followed by a name a ledger
// takes; npos when there is none.
std::size_t CredentialsEnd(std::string_view rest) {
  std::size_t query = std::string_view::npos;
  for (std::size_t mark = rest.find('?'); mark != std::string_view::npos && query == std::string_view::npos;
       mark = rest.find('?', mark + 1)) {
    const std::string_view after = rest.substr(mark + 1);
    for (std::string_view name : kServerOptions) {
      if (after.substr(0, name.size()) == name && after.substr(name.size(), 1) == "=") query = mark;
    }
  }
  return rest.substr(0, query).rfind('@');
}

bool IsNumber(std::string_view text, std::size_t digits) {
  return !text.empty() && text.size() <= digits &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// One server: host, [v6 host], host:port or :port; a colon inside brackets
// is the address's. A ',' decoded from %2C would split the list libpq reads.
Result<ServerHost> ParseHost(std::string_view entry) {
  ServerHost server;
  const std::size_t bracket = entry.rfind(']');
  const std::size_t colon = entry.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    const std::string_view port = entry.substr(colon + 1);
    if (!IsNumber(port, 5) || std::stoi(std::string(port)) == 0 || std::stoi(std::string(port)) > 65535)
      return Refused("a server's port is a number from 1 to 65535");
    server.port = std::string(port);
    entry = entry.substr(0, colon);
  }
  if (entry.size() >= 2 && entry.front() == '[' && entry.back() == ']')
    entry = entry.substr(1, entry.size() - 2);
  server.host = NonEmpty(entry);
  if (server.host && server.host->find(',') != std::string::npos)
    return Refused("a server's name holds no ',': \"" + *server.host + "\"");
  return server;
}

// The text after the scheme, cut into its parts as written.
struct Parts {
  std::optional<std::string_view> credentials, path, query;
  std::string_view authority;
};

Parts Split(std::string_view rest) {
  Parts parts;
  if (const std::size_t at = CredentialsEnd(rest); at != std::string_view::npos) {
    parts.credentials = rest.substr(0, at);
    rest = rest.substr(at + 1);
  }
  const std::size_t mark = rest.find('?');
  if (mark != std::string_view::npos) parts.query = rest.substr(mark + 1);
  rest = rest.substr(0, mark);
  const std::size_t slash = rest.find('/');
  if (slash != std::string_view::npos) parts.path = rest.substr(slash + 1);
  parts.authority = rest.substr(0, slash);
  return parts;
}

}  // namespace

std::optional<std::string> ServerUrl::Option(std::string_view name) const {
  for (const auto& [key, value] : query) {
    if (key == name) return value;
  }
  return std::nullopt;
}

bool IsServerUrl(std::string_view text) { return AfterScheme(text).has_value(); }

bool IsSslMode(std::string_view mode) {
  return std::find(std::begin(kSslModes), std::end(kSslModes), mode) != std::end(kSslModes);
}

Result<ServerUrl> ParseServerUrl(std::string_view text) {
  const std::optional<std::string_view> rest = AfterScheme(text);
  if (!rest) return Refused("a server ledger's URL begins with postgresql://");
  // A %XX never spans two parts (the separators are no hex digits), so the
  // whole text decoded holds what the parts do.
  const std::string decoded = PercentDecoded(*rest);
  if (std::any_of(decoded.begin(), decoded.end(), IsControl))
    return Refused(
        "a server ledger's URL holds a control character, written or as %XX: none of its parts may");
  const Parts parts = Split(*rest);
  ServerUrl url;
  for (std::string_view query = parts.query.value_or(""); !query.empty();) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    const std::size_t equals = pair.find('=');
    const std::string name = PercentDecoded(pair.substr(0, equals));
    if (equals == std::string_view::npos ||
        std::find(std::begin(kServerOptions), std::end(kServerOptions), name) == std::end(kServerOptions)) {
      return Refused(
          "a server ledger's URL takes sslmode, sslrootcert, sslcert, sslkey, service, target_session_attrs "
          "and connect_timeout, as name=value; not \"" +
          name + "\"");
    }
    url.query.emplace_back(name, PercentDecoded(pair.substr(equals + 1)));
  }
  if (std::optional<std::string> mode = url.Option("sslmode"); mode && !IsSslMode(*mode)) {
    return Refused("sslmode is one of disable, allow, prefer, require, verify-ca, verify-full; not \"" +
                   *mode + "\"");
  }
  if (std::optional<std::string> attrs = url.Option("target_session_attrs");
      attrs &&
      std::find(std::begin(kSessionAttrs), std::end(kSessionAttrs), *attrs) == std::end(kSessionAttrs)) {
    return Refused(
        "target_session_attrs is one of any, read-write, read-only, primary, standby, prefer-standby; not "
        "\"" +
        *attrs + "\"");
  }
  if (std::optional<std::string> timeout = url.Option("connect_timeout");
      timeout && !(IsNumber(*timeout, 6) && std::stoi(*timeout) > 0)) {
    return Refused("connect_timeout is a whole number of seconds from 1 to 999999; not \"" + *timeout + "\"");
  }
  if (parts.path) url.database = NonEmpty(*parts.path);
  if (parts.credentials) {
    const std::size_t colon = parts.credentials->find(':');
    url.user = NonEmpty(parts.credentials->substr(0, colon));
    if (colon != std::string_view::npos) url.password = PercentDecoded(parts.credentials->substr(colon + 1));
  }
  // Servers separated by ',': a list names each one, a single one may be empty.
  std::vector<std::string_view> entries;
  for (std::string_view authority = parts.authority;;) {
    const std::size_t comma = authority.find(',');
    entries.push_back(authority.substr(0, comma));
    if (comma == std::string_view::npos) break;
    authority = authority.substr(comma + 1);
  }
  for (std::string_view entry : entries) {
    Result<ServerHost> server = ParseHost(entry);
    if (!server) return server.error();
    if (entries.size() > 1 && !server->host)
      return Refused("each server of a list is named: \"" + std::string(parts.authority) + "\"");
    if (server->host || server->port) url.hosts.push_back(*server);
  }
  return url;
}

std::string HostText(const ServerHost& server) {
  const std::string host = server.host.value_or("");
  std::string text = host.find(':') == std::string::npos ? host : "[" + host + "]";
  return server.port ? text + ":" + *server.port : text;
}

std::string HostList(const ServerUrl& url) {
  std::string list;
  for (const ServerHost& server : url.hosts) list += (list.empty() ? "" : ",") + HostText(server);
  return list;
}

int ConnectTimeout(const ServerUrl& url) {
  const std::optional<std::string> given = url.Option("connect_timeout");
  return given ? std::stoi(*given) : kDefaultConnectTimeout;  // checked with the URL
}

std::string Redacted(std::string_view text) {
  std::string shown;
  if (const std::optional<std::string_view> rest = AfterScheme(text)) {
    const std::size_t start = text.size() - rest->size();
    const Parts parts = Split(*rest);
    const std::size_t colon = parts.credentials ? parts.credentials->find(':') : std::string_view::npos;
    if (colon != std::string_view::npos) {
      shown = std::string(text.substr(0, start + colon + 1)) + "***" +
              std::string(rest->substr(parts.credentials->size()));
    } else if (const std::size_t at = rest->rfind('@');
               at != std::string_view::npos && !ParseServerUrl(text)) {
      shown = std::string(text.substr(0, start)) + "***" + std::string(rest->substr(at));
    }
  }
  if (shown.empty()) shown = text;
  std::replace_if(shown.begin(), shown.end(), IsControl, '?');
  return shown;
}

}  // namespace ledger
