#include "ledger/server_connection.h"

#include "files/host.h"
#include "files/system_files.h"
#include "files/utf8.h"

namespace ledger {

namespace {

constexpr char kSessionSettings[] =
    "-c lock_timeout=10s -c idle_in_transaction_session_timeout=5s -c synchronous_commit=on "
    "-c tcp_keepalives_idle=10 -c tcp_keepalives_interval=5 -c tcp_keepalives_count=3";
constexpr char kClientSettings[] =
    "connect_timeout=10 keepalives=1 keepalives_idle=10 keepalives_interval=5 keepalives_count=3";

std::string Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t\r") - first + 1));
}

std::optional<std::string> FileText(const std::string& path) {
  SystemFiles files;
  Result<std::unique_ptr<ByteFile>> file = files.Open(Wide(path), Access::read);
  Result<std::uint64_t> size = file ? (*file)->Size() : Result<std::uint64_t>(file.error());
  if (!size || *size > (1 << 20)) return std::nullopt;
  std::string text(*size, '\0');
  if (!(*file)->Read(0, std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size())))
    return std::nullopt;
  return text;
}

// A setting of a service in a connection service file (pg_service.conf):
// nothing when the file or the service is not there, and an empty inner
// optional when the service is there without the setting.
std::optional<std::optional<std::string>> ServiceSetting(const std::string& file, const std::string& service,
                                                         std::string_view name) {
  const std::optional<std::string> text = FileText(file);
  if (!text) return std::nullopt;
  bool inService = false, found = false;
  std::optional<std::string> value;
  for (std::size_t start = 0; start <= text->size();) {
    const std::size_t end = std::min(text->find('\n', start), text->size());
    const std::string line = Trimmed(std::string_view(*text).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      inService = line.substr(1, line.size() - 2) == service;
      found = found || inService;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (inService && equals != std::string::npos && Trimmed(line.substr(0, equals)) == name) {
      value = Trimmed(line.substr(equals + 1));
    }
  }
  if (!found) return std::nullopt;
  return value;
}

// The service files libpq reads, the user's first.
std::vector<std::string> ServiceFiles() {
  std::vector<std::string> files;
  if (std::optional<std::string> named = EnvironmentVariable("PGSERVICEFILE")) {
    files.push_back(*named);
#ifdef _WIN32
  } else if (std::optional<std::string> appData = EnvironmentVariable("APPDATA")) {
    files.push_back(*appData + "\\postgresql\\.pg_service.conf");
#else
  } else if (std::optional<std::string> home = EnvironmentVariable("HOME")) {
    files.push_back(*home + "/.pg_service.conf");
#endif
  }
  if (std::optional<std::string> system = EnvironmentVariable("PGSYSCONFDIR")) {
    files.push_back(*system + "/pg_service.conf");
  } else {
#ifndef _WIN32
    files.push_back("/etc/postgresql-common/pg_service.conf");  // Debian's libpq
#endif
  }
  return files;
}

// A value as libpq reads one in a connection string: quoted, with \ and ' escaped.
std::string Quoted(const std::string& value) {
  std::string quoted = "'";
  for (const char c : value) {
    if (c == '\\' || c == '\'') quoted += '\\';
    quoted += c;
  }
  return quoted + "'";
}

// A value as the ODBC connection string takes one: in braces when it holds
// what would end it, a closing brace doubled.
std::string Braced(const std::string& value) {
  if (value.find_first_of(";{} ") == std::string::npos) return value;
  std::string braced = "{";
  for (const char c : value) braced += c == '}' ? "}}" : std::string(1, c);
  return braced + "}";
}

}  // namespace

std::string SslMode(const ServerUrl& url) {
  if (std::optional<std::string> mode = url.Option("sslmode")) return *mode;
  std::optional<std::string> service = url.Option("service");
  if (!service) service = EnvironmentVariable("PGSERVICE");
  if (service) {
    for (const std::string& file : ServiceFiles()) {
      if (const auto setting = ServiceSetting(file, *service, "sslmode")) {
        if (*setting) return **setting;
        break;  // the service is here, without a mode of its own
      }
    }
  }
  if (std::optional<std::string> mode = EnvironmentVariable("PGSSLMODE")) return *mode;
  return "prefer";
}

std::string ConnectionString(const ServerUrl& url) {
  std::string text;
  const auto add = [&](const char* key, const std::optional<std::string>& value) {
    if (value) text += std::string(key) + "=" + Braced(*value) + ";";
  };
  add("Server", url.host);
  add("Port", url.port);
  add("Database", url.database);
  add("Uid", url.user);
  add("Pwd", url.password);
  add("SSLmode", SslMode(url));
  // No savepoint before each statement (Protocol 7.4-1): a failed statement
  // fails its whole transaction, which is rolled back.
  text += "Protocol=7.4-1;";
  std::string libpq = std::string(kClientSettings) + " options=" + Quoted(kSessionSettings);
  for (const char* name : {"sslrootcert", "sslcert", "sslkey", "service"}) {
    if (std::optional<std::string> value = url.Option(name))
      libpq += std::string(" ") + name + "=" + Quoted(*value);
  }
  return text + "pqopt=" + Braced(libpq) + ";";
}

}  // namespace ledger
