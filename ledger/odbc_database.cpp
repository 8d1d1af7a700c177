// The ledger of a whole line: a PostgreSQL server, reached through the
// system's ODBC driver manager (odbc32 on Windows, unixODBC on Linux) and
// PostgreSQL's Unicode driver, so one code path serves both systems. Write
// transactions lock the ledger table, which makes them take turns.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "files/utf8.h"
#include "ledger/database.h"

namespace {

// ODBC's functions, from Windows' own odbc32.dll, or on Linux from unixODBC's
// libodbc.so.2, loaded only when a server ledger is opened, so that every
// other command starts without it and runs where it is not installed.
struct OdbcFunctions {
  decltype(&::SQLAllocHandle) AllocHandle;
  decltype(&::SQLFreeHandle) FreeHandle;
  decltype(&::SQLSetEnvAttr) SetEnvAttr;
  decltype(&::SQLSetConnectAttrW) SetConnectAttrW;
  decltype(&::SQLDriverConnectW) DriverConnectW;
  decltype(&::SQLDisconnect) Disconnect;
  decltype(&::SQLGetDiagRecW) GetDiagRecW;
  decltype(&::SQLBindParameter) BindParameter;
  decltype(&::SQLExecDirectW) ExecDirectW;
  decltype(&::SQLNumResultCols) NumResultCols;
  decltype(&::SQLFetch) Fetch;
  decltype(&::SQLGetData) GetData;
  decltype(&::SQLEndTran) EndTran;
};

const OdbcFunctions* odbc = nullptr;

#ifdef _WIN32
const OdbcFunctions* LoadOdbc() {
  static const OdbcFunctions functions{
      &::SQLAllocHandle, &::SQLFreeHandle,  &::SQLSetEnvAttr,    &::SQLSetConnectAttrW, &::SQLDriverConnectW,
      &::SQLDisconnect,  &::SQLGetDiagRecW, &::SQLBindParameter, &::SQLExecDirectW,     &::SQLNumResultCols,
      &::SQLFetch,       &::SQLGetData,     &::SQLEndTran};
  return &functions;
}
#else
const OdbcFunctions* LoadOdbc() {
  static const std::optional<OdbcFunctions> functions = []() -> std::optional<OdbcFunctions> {
    // Loaded for the rest of the process, as a linked library would be.
    void* library = dlopen("libodbc.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!library) return std::nullopt;
    bool found = true;
    const auto find = [&](auto& function, const char* name) {
      function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
      found = found && function;
    };
    OdbcFunctions loaded{};
    find(loaded.AllocHandle, "SQLAllocHandle");
    find(loaded.FreeHandle, "SQLFreeHandle");
    find(loaded.SetEnvAttr, "SQLSetEnvAttr");
    find(loaded.SetConnectAttrW, "SQLSetConnectAttrW");
    find(loaded.DriverConnectW, "SQLDriverConnectW");
    find(loaded.Disconnect, "SQLDisconnect");
    find(loaded.GetDiagRecW, "SQLGetDiagRecW");
    find(loaded.BindParameter, "SQLBindParameter");
    find(loaded.ExecDirectW, "SQLExecDirectW");
    find(loaded.NumResultCols, "SQLNumResultCols");
    find(loaded.Fetch, "SQLFetch");
    find(loaded.GetData, "SQLGetData");
    find(loaded.EndTran, "SQLEndTran");
    if (!found) return std::nullopt;
    return loaded;
  }();
  return functions ? &*functions : nullptr;
}
#endif

// Text as ODBC's W functions take it, UTF-16 on every system.
using SqlText = std::basic_string<SQLWCHAR>;

SqlText ToSql(std::string_view utf8) {
  SqlText text;
  for (const wchar_t c : Wide(utf8)) {
    auto point = static_cast<std::uint32_t>(c);
    if (point > 0xFFFF) {
      point -= 0x10000;
      text += static_cast<SQLWCHAR>(0xD800 + (point >> 10));
      point = 0xDC00 + (point & 0x3FF);
    }
    text += static_cast<SQLWCHAR>(point);
  }
  return text;
}

std::string FromSql(const SQLWCHAR* data, std::size_t length) {
  std::wstring wide;
  for (std::size_t i = 0; i < length; ++i) {
    std::uint32_t point = data[i];
    const bool pair = sizeof(wchar_t) == 4 && point >= 0xD800 && point < 0xDC00 && i + 1 < length &&
                      data[i + 1] >= 0xDC00 && data[i + 1] < 0xE000;
    if (pair) point = 0x10000 + ((point - 0xD800) << 10) + (data[++i] - 0xDC00);
    wide += static_cast<wchar_t>(point);
  }
  return Utf8(wide);
}

// What a postgresql:// URL names.
struct Server {
  std::string user, password, host, port = "5432", database, sslmode = "prefer";
};

std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      decoded += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

std::optional<Server> ParseUrl(std::string_view url) {
  Server server;
  const std::size_t scheme = url.find("://");
  std::string_view rest = url.substr(scheme + 3);
  if (const std::size_t query = rest.find('?'); query != std::string_view::npos) {
    const std::string_view option = rest.substr(query + 1);
    if (option.rfind("sslmode=", 0) != 0 || option.find('&') != std::string_view::npos) return std::nullopt;
    server.sslmode = option.substr(8);
    rest = rest.substr(0, query);
  }
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos || slash + 1 == rest.size()) return std::nullopt;
  server.database = PercentDecoded(rest.substr(slash + 1));
  std::string_view authority = rest.substr(0, slash);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    const std::string_view credentials = authority.substr(0, at);
    const std::size_t colon = credentials.find(':');
    server.user = PercentDecoded(credentials.substr(0, colon));
    if (colon != std::string_view::npos) server.password = PercentDecoded(credentials.substr(colon + 1));
    authority = authority.substr(at + 1);
  }
  const std::size_t bracket = authority.rfind(']');
  const std::size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    server.port = authority.substr(colon + 1);
    authority = authority.substr(0, colon);
  }
  if (authority.size() > 2 && authority.front() == '[' && authority.back() == ']') {
    authority = authority.substr(1, authority.size() - 2);
  }
  server.host = authority;
  const bool digits =
      !server.port.empty() && server.port.find_first_not_of("0123456789") == std::string::npos;
  if (server.host.empty() || !digits) return std::nullopt;
  return server;
}

// A connection string value; in braces when it holds what would end it.
std::string Braced(const std::string& value) {
  if (value.find_first_of(";{} ") == std::string::npos) return value;
  std::string braced = "{";
  for (const char c : value) braced += c == '}' ? "}}" : std::string(1, c);
  return braced + "}";
}

template <SQLSMALLINT kType>
struct HandleFree {
  void operator()(SQLHANDLE handle) const { odbc->FreeHandle(kType, handle); }
};
template <SQLSMALLINT kType>
using Handle = std::unique_ptr<void, HandleFree<kType>>;

bool Succeeded(SQLRETURN status) { return status == SQL_SUCCESS || status == SQL_SUCCESS_WITH_INFO; }

// What the driver manager or the driver said, on one line, without the
// vendors' [tags] and never with the password.
Failure Said(SQLSMALLINT type, SQLHANDLE handle, const std::string& password) {
  std::string said;
  SQLWCHAR state[6], message[1024];
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  for (SQLSMALLINT record = 1;
       Succeeded(odbc->GetDiagRecW(type, handle, record, state, &native, message, 1024, &length)); ++record) {
    std::string text = FromSql(message, std::min<std::size_t>(length, 1023));
    while (!text.empty() && text.front() == '[') text.erase(0, text.find(']') + 1);
    if (text == "Error while executing the query") continue;  // the driver's echo of the server's reason
    if (!said.empty()) said += "; ";
    said += text;
  }
  std::string line;
  for (const char c : said) {
    const bool space = c == ' ' || c == '\n' || c == '\t';
    if (!space || (!line.empty() && line.back() != ' ')) line += space ? ' ' : c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  said = line;
  if (!password.empty()) {
    for (std::size_t at; (at = said.find(password)) != std::string::npos;)
      said.replace(at, password.size(), "***");
  }
  return SystemFailure(Wide("the ledger server: " + (said.empty() ? std::string("no reason given") : said)));
}

// The SQLSTATE of the first diagnostic record.
std::string State(SQLSMALLINT type, SQLHANDLE handle) {
  SQLWCHAR state[6] = {}, message[2];
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  odbc->GetDiagRecW(type, handle, 1, state, &native, message, 2, &length);
  return FromSql(state, 5);
}

// Whether the driver manager found no driver of the name asked for: IM002,
// or unixODBC's 01000 "Can't open lib" (which Wine's odbc32 passes on).
bool DriverMissing(SQLHANDLE connection) {
  const std::string state = State(SQL_HANDLE_DBC, connection);
  return state == "IM002" || state == "01000";
}

constexpr bool IsWindows() {
#ifdef _WIN32
  return true;
#else
  return false;
#endif
}

class OdbcDatabase final : public Database {
 public:
  OdbcDatabase(Handle<SQL_HANDLE_ENV> environment, Handle<SQL_HANDLE_DBC> connection, std::string password)
      : environment_(std::move(environment)),
        connection_(std::move(connection)),
        password_(std::move(password)) {}
  OdbcDatabase(const OdbcDatabase&) = delete;
  OdbcDatabase& operator=(const OdbcDatabase&) = delete;
  ~OdbcDatabase() override { odbc->Disconnect(connection_.get()); }

  Result<std::vector<Row>> Query(const std::string& sql, const std::vector<Parameter>& parameters) override {
    SQLHANDLE made = nullptr;
    if (!Succeeded(odbc->AllocHandle(SQL_HANDLE_STMT, connection_.get(), &made))) return Failed();
    const Handle<SQL_HANDLE_STMT> statement(made);
    // The values must stay where they are bound until the statement runs.
    std::vector<SqlText> texts(parameters.size());
    std::vector<std::int64_t> numbers(parameters.size());
    std::vector<SQLLEN> lengths(parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i) {
      const auto number = static_cast<SQLUSMALLINT>(i + 1);
      SQLRETURN bound = SQL_SUCCESS;
      if (const auto* text = std::get_if<std::string>(&parameters[i])) {
        texts[i] = ToSql(*text);
        lengths[i] = SQL_NTS;
        bound =
            odbc->BindParameter(made, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                                std::max<SQLULEN>(texts[i].size(), 1), 0, texts[i].data(), 0, &lengths[i]);
      } else {
        const auto* value = std::get_if<std::int64_t>(&parameters[i]);
        numbers[i] = value ? *value : 0;
        lengths[i] = value ? 0 : SQL_NULL_DATA;
        bound = odbc->BindParameter(made, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                                    &numbers[i], 0, &lengths[i]);
      }
      if (!Succeeded(bound)) return Said(SQL_HANDLE_STMT, made, password_);
    }
    SqlText text = ToSql(sql);
    const SQLRETURN ran = odbc->ExecDirectW(made, text.data(), SQL_NTS);
    if (ran == SQL_NO_DATA) return std::vector<Row>{};  // a statement that changed no row
    if (!Succeeded(ran)) return Said(SQL_HANDLE_STMT, made, password_);
    SQLSMALLINT columns = 0;
    if (!Succeeded(odbc->NumResultCols(made, &columns))) return Said(SQL_HANDLE_STMT, made, password_);
    std::vector<Row> rows;
    for (SQLRETURN fetched; columns > 0 && (fetched = odbc->Fetch(made)) != SQL_NO_DATA;) {
      if (!Succeeded(fetched)) return Said(SQL_HANDLE_STMT, made, password_);
      Row& row = rows.emplace_back();
      for (SQLUSMALLINT column = 1; column <= columns; ++column) {
        Result<std::optional<std::string>> value = Column(made, column);
        if (!value) return value.error();
        row.columns.push_back(*value);
      }
    }
    return rows;
  }

  Result<> Begin(bool ledgerExists) override {
    if (!Succeeded(odbc->SetConnectAttrW(connection_.get(), SQL_ATTR_AUTOCOMMIT,
                                         reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
      return Failed();
    }
    if (!ledgerExists) return {};
    Result<std::vector<Row>> locked = Query("LOCK TABLE quorvix_ledger IN EXCLUSIVE MODE", {});
    if (!locked) return locked.error();
    return {};
  }
  Result<> Commit() override { return End(SQL_COMMIT); }
  void Rollback() override { (void)End(SQL_ROLLBACK); }
  std::string IdColumn() const override { return "BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY"; }

 private:
  Failure Failed() const { return Said(SQL_HANDLE_DBC, connection_.get(), password_); }

  Result<> End(SQLSMALLINT how) {
    const bool ended = Succeeded(odbc->EndTran(SQL_HANDLE_DBC, connection_.get(), how));
    std::optional<Failure> failure;
    if (!ended) failure = Failed();
    odbc->SetConnectAttrW(connection_.get(), SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    if (failure) return *failure;
    return {};
  }

  // One column of the fetched row as text, read in as many parts as it takes.
  Result<std::optional<std::string>> Column(SQLHANDLE statement, SQLUSMALLINT column) {
    SqlText value;
    SQLWCHAR part[256];
    for (;;) {
      SQLLEN length = 0;
      const SQLRETURN got = odbc->GetData(statement, column, SQL_C_WCHAR, part, sizeof part, &length);
      if (got == SQL_NO_DATA) break;
      if (!Succeeded(got)) return Said(SQL_HANDLE_STMT, statement, password_);
      if (length == SQL_NULL_DATA) return std::optional<std::string>();
      const std::size_t whole = sizeof part / sizeof part[0] - 1;
      const bool more = length == SQL_NO_TOTAL || static_cast<std::size_t>(length) / sizeof(SQLWCHAR) > whole;
      value.append(part, more ? whole : static_cast<std::size_t>(length) / sizeof(SQLWCHAR));
      if (!more) break;
    }
    return std::optional<std::string>(FromSql(value.data(), value.size()));
  }

  Handle<SQL_HANDLE_ENV> environment_;
  Handle<SQL_HANDLE_DBC> connection_;
  std::string password_;
};

}  // namespace

Result<std::unique_ptr<Database>> OpenServer(const std::string& url) {
  const std::optional<Server> server = ParseUrl(url);
  if (!server) {
    return SystemFailure(
        L"a server ledger is named postgresql://[user[:password]@]host[:port]/database"
        L"[?sslmode=...]");
  }
  odbc = LoadOdbc();
  if (!odbc) {
    return SystemFailure(
        L"the system's ODBC driver manager is not installed (libodbc.so.2): on Debian apt-get install "
        L"odbc-postgresql, which brings it and PostgreSQL's driver");
  }
  SQLHANDLE made = nullptr;
  if (!Succeeded(odbc->AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &made))) {
    return SystemFailure(L"the system's ODBC driver manager could not be started");
  }
  Handle<SQL_HANDLE_ENV> environment(made);
  odbc->SetEnvAttr(made, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!Succeeded(odbc->AllocHandle(SQL_HANDLE_DBC, made, &made)))
    return Said(SQL_HANDLE_ENV, environment.get(), "");
  Handle<SQL_HANDLE_DBC> connection(made);
  odbc->SetConnectAttrW(made, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
  // A failed statement fails its whole transaction, which is rolled back:
  // no savepoint before each one (Protocol 7.4-1). A ledger that another
  // station holds locked longer than lock_timeout is refused, not waited for.
  const std::string settings = ";Server=" + Braced(server->host) + ";Port=" + server->port +
                               ";Database=" + Braced(server->database) + ";Uid=" + Braced(server->user) +
                               ";Pwd=" + Braced(server->password) + ";SSLmode=" + Braced(server->sslmode) +
                               ";Protocol=7.4-1;pqopt={connect_timeout=10 options='-c lock_timeout=10s'};";
  // PostgreSQL's Unicode driver, as psqlODBC names it on 64-bit Windows, then elsewhere.
  std::vector<std::string> drivers{"PostgreSQL Unicode"};
  if (IsWindows() && sizeof(void*) == 8) drivers.insert(drivers.begin(), "PostgreSQL Unicode(x64)");
  SQLRETURN connected = SQL_ERROR;
  for (const std::string& driver : drivers) {
    SqlText connect = ToSql("Driver={" + driver + "}" + settings);
    connected = odbc->DriverConnectW(made, nullptr, connect.data(), SQL_NTS, nullptr, 0, nullptr,
                                     SQL_DRIVER_NOPROMPT);
    std::fill(connect.begin(), connect.end(), SQLWCHAR{0});
    if (Succeeded(connected) || !DriverMissing(made)) break;
  }
  if (!Succeeded(connected)) {
    if (DriverMissing(made)) {
      return SystemFailure(
          L"PostgreSQL's ODBC driver (\"PostgreSQL Unicode\") is not installed: on Debian apt-get install "
          L"odbc-postgresql, on Windows psqlODBC");
    }
    return Said(SQL_HANDLE_DBC, made, server->password);
  }
  return std::unique_ptr<Database>(
      std::make_unique<OdbcDatabase>(std::move(environment), std::move(connection), server->password));
}
