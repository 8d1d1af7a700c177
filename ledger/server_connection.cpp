#include "ledger/server_connection.h"

#ifdef _WIN32
#include <windows.h>
#include <sddl.h>
#else
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

#include <system_error>

#include "files/host.h"
#include "files/system_files.h"
#include "files/utf8.h"
#include "ledger/refused.h"

namespace ledger {

namespace {

constexpr char kSessionSettings[] =
    "-c lock_timeout=10s -c idle_in_transaction_session_timeout=5s -c synchronous_commit=on "
    "-c tcp_keepalives_idle=10 -c tcp_keepalives_interval=5 -c tcp_keepalives_count=3";
// No connect_timeout: the driver hands libpq its login timeout as one, and
// refuses a pqopt that holds another value.
constexpr char kClientSettings[] = "keepalives=1 keepalives_idle=10 keepalives_interval=5 keepalives_count=3";

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
    // libpq takes the value as it stands after '=' (only the line is trimmed)
    if (inService && equals != std::string::npos && Trimmed(line.substr(0, equals)) == name) {
      value = line.substr(equals + 1);
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

// A mode as PostgreSQL spells one, else a refusal naming where it came from.
Result<std::string> Checked(const std::string& mode, const std::string& where) {
  if (IsSslMode(mode)) return mode;
  std::string shown = mode;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return Refused(where + " asks for sslmode \"" + shown +
                 "\": the modes are disable, allow, prefer, require, verify-ca and verify-full, spelled so");
}

#ifdef _WIN32

// Only the user who runs this: Wine gives such a file mode 0600, which
// libpq asks of a password file.
std::optional<std::wstring> OwnerOnly() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<std::uint8_t> buffer(size);
  const bool got = size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  ::CloseHandle(token);
  wchar_t* sid = nullptr;
  if (!got || !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid))
    return std::nullopt;
  std::wstring sddl = std::wstring(L"D:P(A;OICI;FA;;;") + sid + L")";
  ::LocalFree(sid);
  return sddl;
}

// A path as the host's libpq opens it under Wine, where odbc32 hands the
// driver's work to the host's unixODBC; on Windows itself, as it is.
std::optional<std::string> LibpqPath(const std::filesystem::path& path) {
  using UnixName = char*(__cdecl*)(const wchar_t*);
  const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return Utf8(path.wstring());
  char* name = unixName(path.c_str());
  if (!name) return std::nullopt;
  std::string unix(name);
  ::HeapFree(::GetProcessHeap(), 0, name);
  return unix;
}

#endif

}  // namespace

Result<std::string> SslMode(const ServerUrl& url) {
  if (std::optional<std::string> mode = url.Option("sslmode")) return *mode;  // checked with the URL
  std::optional<std::string> service = url.Option("service");
  if (!service) service = EnvironmentVariable("PGSERVICE");
  if (service) {
    for (const std::string& file : ServiceFiles()) {
      if (const auto setting = ServiceSetting(file, *service, "sslmode")) {
        if (*setting) return Checked(**setting, "the service " + *service + " in " + file);
        break;  // the service is here, without a mode of its own
      }
    }
  }
  if (std::optional<std::string> mode = EnvironmentVariable("PGSSLMODE")) return Checked(*mode, "PGSSLMODE");
  return std::string("prefer");
}

Result<PasswordFile> PasswordFile::Write(const std::string& password) {
  // libpq takes PGPASSWORD before any password file.
  if (const std::optional<std::string> other = EnvironmentVariable("PGPASSWORD");
      other && *other != password) {
    return Refused(
        "the URL holds one password and PGPASSWORD another, which PostgreSQL's client would send: give only "
        "one");
  }
  // Any host, port, database and user; '\' and ':' escaped, as libpq reads them.
  std::string line = "*:*:*:*:";
  for (const char c : password) {
    if (c == '\\' || c == ':') line += '\\';
    line += c;
  }
  line += '\n';
  const auto failed = [](const std::string& what) {
    return SystemFailure(Wide("the password could not be handed to PostgreSQL's client: " + what));
  };
#ifdef _WIN32
  const std::optional<std::wstring> sddl = OwnerOnly();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!sddl || !::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl->c_str(), SDDL_REVISION_1,
                                                                       &descriptor, nullptr))
    return failed("this user's account could not be read");
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
  std::filesystem::path folder;
  for (int attempt = 0; attempt < 100 && folder.empty(); ++attempt) {
    const std::filesystem::path candidate =
        std::filesystem::path(std::wstring(temp, length)) /
        (L"quorvix-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64()) +
         L"-" + std::to_wstring(attempt));
    if (::CreateDirectoryW(candidate.c_str(), &attributes)) folder = candidate;
  }
  if (folder.empty()) {
    ::LocalFree(descriptor);
    return failed("no private folder could be made in the temporary folder");
  }
  const std::filesystem::path file = folder / L"pgpass.conf";
  HANDLE handle =
      ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ::LocalFree(descriptor);
  const std::unique_ptr<void, decltype(&::CloseHandle)> closer(
      handle == INVALID_HANDLE_VALUE ? nullptr : handle, ::CloseHandle);
  DWORD written = 0;
  const bool wrote = closer &&
                     ::WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                     written == line.size();
  const std::optional<std::string> path = LibpqPath(file);
  PasswordFile made(folder, path.value_or(""));
  if (!wrote || !path) return failed("it could not be written in a private folder");
  return made;
#else
  const std::string temp = EnvironmentVariable("TMPDIR").value_or("/tmp");
  std::string folder = (temp.empty() ? std::string("/tmp") : temp) + "/quorvix-XXXXXX";
  if (!::mkdtemp(folder.data())) return failed("no private folder could be made in " + temp);
  const std::string file = folder + "/pgpass";
  PasswordFile made(folder, file);
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  bool wrote = fd >= 0;
  for (std::size_t done = 0; wrote && done < line.size();) {
    const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
    wrote = n > 0;
    done += wrote ? static_cast<std::size_t>(n) : 0;
  }
  if (fd >= 0 && ::close(fd) != 0) wrote = false;
  if (!wrote) return failed("it could not be written in " + folder);
  return made;
#endif
}

PasswordFile::PasswordFile(std::filesystem::path folder, std::string path)
    : folder_(std::move(folder)), path_(std::move(path)) {}

PasswordFile::PasswordFile(PasswordFile&& other) noexcept
    : folder_(std::exchange(other.folder_, {})), path_(std::move(other.path_)) {}

PasswordFile::~PasswordFile() {
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::string ConnectionString(const ServerUrl& url, const std::string& sslMode,
                             const std::optional<std::string>& passfile) {
  std::string libpq;
  const auto add = [&](const char* key, const std::optional<std::string>& value) {
    if (value) libpq += std::string(key) + "=" + Quoted(*value) + " ";
  };
  // Lists as libpq takes them: a port per server, an empty one for libpq's
  // default; no port at all leaves it to PGPORT or a service, as for one server.
  std::optional<std::string> hosts, ports;
  for (const ServerHost& server : url.hosts) {
    if (server.host) hosts = (hosts ? *hosts + "," : "") + *server.host;
    if (server.port) ports = "";
  }
  if (ports) {
    for (std::size_t i = 0; i < url.hosts.size(); ++i)
      *ports += (i ? "," : "") + url.hosts[i].port.value_or("");
  }
  add("host", hosts);
  add("port", ports);
  add("dbname", url.database);
  add("user", url.user);
  if (passfile) {
    // An empty password makes libpq read the file, not PGPASSWORD: the URL's wins.
    add("password", "");
    add("passfile", passfile);
  }
  for (const char* name : {"sslrootcert", "sslcert", "sslkey", "service"}) add(name, url.Option(name));
  add("target_session_attrs", url.Option("target_session_attrs").value_or(std::string(kDefaultSessionAttrs)));
  libpq += std::string(kClientSettings) + " options=" + Quoted(kSessionSettings);
  // No savepoint before each statement (Protocol 7.4-1): a failed statement
  // fails its whole transaction, which is rolled back.
  return "SSLmode=" + sslMode + ";Protocol=7.4-1;pqopt=" + Braced(libpq) + ";";
}

}  // namespace ledger
