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

}  // namespace

std::optional<std::string> ServerUrl::Option(std::string_view name) const {
  for (const auto& [key, value] : query) {
    if (key == name) return value;
  }
  return std::nullopt;
}

bool IsServerUrl(std::string_view text) { return AfterScheme(text).has_value(); }

Result<ServerUrl> ParseServerUrl(std::string_view text) {
  std::optional<std::string_view> rest = AfterScheme(text);
  if (!rest) return Refused("a server ledger's URL begins with postgresql://");
  ServerUrl url;
  if (const std::size_t mark = rest->find('?'); mark != std::string_view::npos) {
    std::string_view query = rest->substr(mark + 1);
    *rest = rest->substr(0, mark);
    while (!query.empty()) {
      const std::size_t amp = query.find('&');
      const std::string_view pair = query.substr(0, amp);
      query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
      const std::size_t equals = pair.find('=');
      const std::string name = PercentDecoded(pair.substr(0, equals));
      if (equals == std::string_view::npos ||
          std::find(std::begin(kServerOptions), std::end(kServerOptions), name) == std::end(kServerOptions)) {
        return Refused(
            "a server ledger's URL takes sslmode, sslrootcert, sslcert, sslkey and service, as "
            "name=value; not \"" +
            name + "\"");
      }
      url.query.emplace_back(name, PercentDecoded(pair.substr(equals + 1)));
    }
  }
  if (std::optional<std::string> mode = url.Option("sslmode");
      mode && std::find(std::begin(kSslModes), std::end(kSslModes), *mode) == std::end(kSslModes)) {
    return Refused("sslmode is one of disable, allow, prefer, require, verify-ca, verify-full; not \"" +
                   *mode + "\"");
  }
  const std::size_t slash = rest->find('/');
  if (slash != std::string_view::npos) url.database = NonEmpty(rest->substr(slash + 1));
  std::string_view authority = rest->substr(0, slash);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    const std::string_view credentials = authority.substr(0, at);
    const std::size_t colon = credentials.find(':');
    url.user = NonEmpty(credentials.substr(0, colon));
    if (colon != std::string_view::npos) url.password = PercentDecoded(credentials.substr(colon + 1));
    authority = authority.substr(at + 1);
  }
  // host, [v6 host], host:port or :port; a colon inside brackets is the address's.
  const std::size_t bracket = authority.rfind(']');
  const std::size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    const std::string_view port = authority.substr(colon + 1);
    const bool digits = !port.empty() && port.size() <= 5 &&
                        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || std::stoi(std::string(port)) == 0 || std::stoi(std::string(port)) > 65535)
      return Refused("a server's port is a number from 1 to 65535");
    url.port = std::string(port);
    authority = authority.substr(0, colon);
  }
  if (authority.size() >= 2 && authority.front() == '[' && authority.back() == ']') {
    authority = authority.substr(1, authority.size() - 2);
  }
  url.host = NonEmpty(authority);
  return url;
}

std::string Redacted(std::string_view text) {
  const std::optional<std::string_view> rest = AfterScheme(text);
  if (!rest) return std::string(text);
  const std::string_view authority = rest->substr(0, rest->find_first_of("/?"));
  const std::size_t at = authority.rfind('@');
  const std::size_t colon = authority.substr(0, at).find(':');
  if (at == std::string_view::npos || colon == std::string_view::npos) return std::string(text);
  const std::size_t start = text.size() - rest->size();
  return std::string(text.substr(0, start + colon + 1)) + "***" + std::string(text.substr(start + at));
}

}  // namespace ledger
