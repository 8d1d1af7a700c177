// The ledger of a whole line: a PostgreSQL server, reached through the
// system's ODBC driver manager (odbc32 on Windows, unixODBC on Linux) and
// PostgreSQL's Unicode driver, so one code path serves both systems. Write
// transactions lock the MAC ranges' rows, which makes them take turns.
#include <algorithm>
#include <cstdint>

#include "files/utf8.h"
#include "files/watchdog.h"
#include "ledger/database.h"
#include "ledger/last_server.h"
#include "ledger/odbc_library.h"
#include "ledger/server_connection.h"
#include "ledger/server_rules.h"

namespace ledger {

namespace {

// How long a commit may wait for a synchronous standby before it is cancelled.
constexpr std::chrono::milliseconds kCommitWait{15000};

// Text as the W functions take it: UTF-16, whatever wchar_t is here.
using SqlText = std::basic_string<SQLWCHAR>;

SqlText ToSql(std::string_view utf8) {
  const std::u16string text = Utf16(utf8);
  return SqlText(text.begin(), text.end());
}

std::string FromSql(const SQLWCHAR* data, std::size_t length) {
  return Utf8(std::u16string(data, data + length));
}

// A role's name as SQL names it: in double quotes, a double quote doubled.
std::string Quoted(const std::string& name) {
  std::string quoted = "\"";
  for (const char c : name) quoted += c == '"' ? "\"\"" : std::string(1, c);
  return quoted + "\"";
}

bool Succeeded(SQLRETURN status) { return status == SQL_SUCCESS || status == SQL_SUCCESS_WITH_INFO; }

// What a failed call left: the SQLSTATE of the first record, and every
// record's message.
struct Diagnosis {
  std::string state, message;
};

Diagnosis Diagnose(const OdbcLibrary& odbc, SQLSMALLINT type, SQLHANDLE handle) {
  Diagnosis diagnosis;
  SQLWCHAR state[6], message[1024];
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  for (SQLSMALLINT record = 1;
       Succeeded(odbc.GetDiagRecW(type, handle, record, state, &native, message, 1024, &length)); ++record) {
    if (record == 1) diagnosis.state = FromSql(state, 5);
    std::string text = FromSql(message, std::min<std::size_t>(length, 1023));
    while (!text.empty() && text.front() == '[') text.erase(0, text.find(']') + 1);
    if (text == "Error while executing the query") continue;  // the driver's echo of the server's reason
    if (!diagnosis.message.empty()) diagnosis.message += "; ";
    diagnosis.message += text;
  }
  return diagnosis;
}

// Whether a try later may succeed where this one failed before it changed
// anything: the server out of reach or going down, the ledger busy past the
// lock's timeout, a statement past its own, this session ended for idling in
// its transaction. A
// refusal the server gave (a password, a database, a role, a certificate)
// stays one.
bool Passing(const Diagnosis& diagnosis) {
  const std::string& state = diagnosis.state;
  if (state == "08001") {  // could not connect: the driver passes libpq's reason on
    static constexpr const char* kPassing[] = {
        "Connection refused", "timeout expired", "Connection timed out", "No route to host",
        "Network is unreachable", "could not translate host name", "server closed the connection",
        "Connection reset by peer", "the database system is starting up",
        "the database system is shutting down", "the database system is in recovery mode",
        "the database system is not yet accepting connections", "too many clients already",
        "could not receive data", "could not send data",
        // a server that is not what target_session_attrs asks
        // for: a standby may be promoted, a primary demoted
        "session is read-only", "session is not read-only", "server is in hot standby mode",
        "server is not in hot standby mode"};
    return std::any_of(std::begin(kPassing), std::end(kPassing), [&](const char* reason) {
      return diagnosis.message.find(reason) != std::string::npos;
    });
  }
  static constexpr const char* kStates[] = {"08",    "55P03", "40001", "40P01", "57P01",
                                            "57P02", "57P03", "25P03", "53300", "57014"};
  return std::any_of(std::begin(kStates), std::end(kStates),
                     [&](const char* prefix) { return state.rfind(prefix, 0) == 0; });
}

}  // namespace

bool Unreachable(const Failure& failure) {
  if (failure.cause != Failure::Cause::retry) return false;
  static constexpr const char* kSilent[] = {"Connection refused",
                                            "timeout expired",
                                            "Connection timed out",
                                            "No route to host",
                                            "Network is unreachable",
                                            "could not translate host name",
                                            "Connection reset by peer",
                                            "server closed the connection",
                                            "could not receive data",
                                            "could not send data",
                                            "the database system is starting up",
                                            "the database system is shutting down"};
  const std::string text = Utf8(failure.text);
  return std::any_of(std::begin(kSilent), std::end(kSilent),
                     [&](const char* reason) { return text.find(reason) != std::string::npos; });
}

namespace {

// What a failed call left, on one line, without the vendors' [tags] and
// never with the password; and whether a later try may succeed.
struct Reason {
  std::string line;
  Failure::Cause cause;
};

Reason Explained(const OdbcLibrary& odbc, SQLSMALLINT type, SQLHANDLE handle,
                 const std::optional<std::string>& password) {
  const Diagnosis diagnosis = Diagnose(odbc, type, handle);
  std::string line;
  for (const char c : diagnosis.message) {
    const bool space = c == ' ' || c == '\n' || c == '\t';
    if (!space || (!line.empty() && line.back() != ' ')) line += space ? ' ' : c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  if (password && !password->empty()) {
    for (std::size_t at; (at = line.find(*password)) != std::string::npos;)
      line.replace(at, password->size(), "***");
  }
  if (line.empty()) line = "no reason given";
  if (Passing(diagnosis)) return {line, Failure::Cause::retry};
  // The server's privileges, and the ledger's own rules on its rows, refuse
  // as insufficient_privilege.
  return {line, diagnosis.state == "42501" ? Failure::Cause::refused : Failure::Cause::system};
}

constexpr std::string_view kServerSaid = "the ledger server: ";

Failure Told(const Reason& reason) {
  return Failure(reason.cause, Wide(std::string(kServerSaid) + reason.line));
}

Failure Said(const OdbcLibrary& odbc, SQLSMALLINT type, SQLHANDLE handle,
             const std::optional<std::string>& password) {
  return Told(Explained(odbc, type, handle, password));
}

// An ODBC handle of one type, freed with the object.
template <SQLSMALLINT kType>
class Handle {
 public:
  Handle(const OdbcLibrary& odbc, SQLHANDLE handle) : odbc_(odbc), handle_(handle) {}
  Handle(Handle&& other) noexcept : odbc_(other.odbc_), handle_(std::exchange(other.handle_, nullptr)) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle_) odbc_.FreeHandle(kType, handle_);
  }
  SQLHANDLE get() const { return handle_; }

 private:
  const OdbcLibrary& odbc_;
  SQLHANDLE handle_;
};

class OdbcDatabase final : public Database {
 public:
  OdbcDatabase(const OdbcLibrary& odbc, Handle<SQL_HANDLE_ENV> environment, Handle<SQL_HANDLE_DBC> connection,
               std::optional<std::string> password)
      : odbc_(odbc),
        environment_(std::move(environment)),
        connection_(std::move(connection)),
        password_(std::move(password)) {}
  ~OdbcDatabase() override { odbc_.Disconnect(connection_.get()); }

  Result<std::vector<Row>> Query(const std::string& sql, const std::vector<Parameter>& parameters) override {
    SQLHANDLE made = nullptr;
    if (!Succeeded(odbc_.AllocHandle(SQL_HANDLE_STMT, connection_.get(), &made))) return Failed();
    const Handle<SQL_HANDLE_STMT> statement(odbc_, made);
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
            odbc_.BindParameter(made, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                                std::max<SQLULEN>(texts[i].size(), 1), 0, texts[i].data(), 0, &lengths[i]);
      } else {
        const auto* value = std::get_if<std::int64_t>(&parameters[i]);
        numbers[i] = value ? *value : 0;
        lengths[i] = value ? 0 : SQL_NULL_DATA;
        bound = odbc_.BindParameter(made, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                                    &numbers[i], 0, &lengths[i]);
      }
      if (!Succeeded(bound)) return Said(odbc_, SQL_HANDLE_STMT, made, password_);
    }
    SqlText text = ToSql(sql);
    const SQLRETURN ran = odbc_.ExecDirectW(made, text.data(), SQL_NTS);
    if (ran == SQL_NO_DATA) return std::vector<Row>{};  // a statement that changed no row
    if (!Succeeded(ran)) return Said(odbc_, SQL_HANDLE_STMT, made, password_);
    SQLSMALLINT columns = 0;
    if (!Succeeded(odbc_.NumResultCols(made, &columns))) return Said(odbc_, SQL_HANDLE_STMT, made, password_);
    std::vector<Row> rows;
    for (SQLRETURN fetched; columns > 0 && (fetched = odbc_.Fetch(made)) != SQL_NO_DATA;) {
      if (!Succeeded(fetched)) return Said(odbc_, SQL_HANDLE_STMT, made, password_);
      Row& row = rows.emplace_back();
      for (SQLUSMALLINT column = 1; column <= columns; ++column) {
        Result<std::optional<std::string>> value = Column(made, column);
        if (!value) return value.error();
        row.columns.push_back(*value);
      }
    }
    return rows;
  }

  Result<> Begin(bool lock) override {
    if (!Succeeded(odbc_.SetConnectAttrW(connection_.get(), SQL_ATTR_AUTOCOMMIT,
                                         reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
      return Failed();
    }
    if (!lock) return {};
    // The MAC ranges' rows: every writer takes them first, so writers take
    // turns, and a station's role may lock them, since it may move their
    // next values. Readers never wait for it; a second writer waits up to
    // lock_timeout.
    Result<std::vector<Row>> locked = Query("SELECT id FROM mac_ranges ORDER BY id FOR UPDATE", {});
    if (!locked) {
      Rollback();  // nothing left open: the connection can go on, or be closed cleanly
      return locked.error();
    }
    return {};
  }
  // The commit as a statement, under a watchdog: a commit waits for a
  // synchronous standby for as long as that takes, and no timeout of the
  // server's ends the wait; a cancel does, leaving the commit the primary's
  // alone, which the caller then takes as unanswered and asks after.
  Result<> Commit() override {
    SQLHANDLE made = nullptr;
    if (!Succeeded(odbc_.AllocHandle(SQL_HANDLE_STMT, connection_.get(), &made))) {
      const Failure failure = Failed();
      Rollback();
      return failure;
    }
    const Handle<SQL_HANDLE_STMT> statement(odbc_, made);
    SqlText text = ToSql("COMMIT");
    SQLRETURN ran = SQL_ERROR;
    {
      const Watchdog watchdog(kCommitWait, [&] { odbc_.Cancel(made); });
      ran = odbc_.ExecDirectW(made, text.data(), SQL_NTS);
    }
    std::optional<Failure> failure;
    if (!Succeeded(ran)) {
      failure = Said(odbc_, SQL_HANDLE_STMT, made, password_);
    } else if (ran == SQL_SUCCESS_WITH_INFO) {
      const Diagnosis said = Diagnose(odbc_, SQL_HANDLE_STMT, made);
      if (said.message.find("synchronous replication") != std::string::npos)
        failure = Told({said.message, Failure::Cause::retry});
    }
    AutocommitOn();
    if (failure) return *failure;
    return {};
  }
  void Rollback() override {
    odbc_.EndTran(SQL_HANDLE_DBC, connection_.get(), SQL_ROLLBACK);
    AutocommitOn();
  }
  std::string IdColumn() const override { return "BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY"; }
  std::vector<std::string> UnitsFromVersion1(const std::string&) const override {
    return {"ALTER TABLE units DROP CONSTRAINT units_state_check",
            "ALTER TABLE units ADD CONSTRAINT units_state_check CHECK (state IN ('reserved', 'written', "
            "'failed', "
            "'replaced'))",
            "ALTER TABLE units ADD COLUMN replaced_by BIGINT"};
  }
  std::string NowSql() const override { return kServerNow; }
  std::string RoleSql() const override { return "session_user"; }
  std::string OwnerSql() const override {
    return "COALESCE(pg_has_role(session_user, (SELECT relowner FROM pg_class WHERE oid = "
           "to_regclass('units')), 'MEMBER'), has_schema_privilege(current_schema(), 'CREATE'))";
  }
  std::string MacTextSql(const std::string& number) const override {
    return "upper(lpad(to_hex(" + number + "), 12, '0'))";
  }
  std::string DigitsSql(const std::string& number, const std::string& width) const override {
    return "lpad((" + number + ")::text, " + width + ", '0')";
  }
  // The session's synchronous_commit is on whatever the server's default
  // (server_connection.h), so a synchronous standby named means every
  // commit waits for it. pg_stat_replication shows any role a row per
  // standby streaming, though its columns only to pg_read_all_stats.
  std::string ReplicationSql() const override {
    return "SELECT CASE WHEN current_setting('synchronous_standby_names') <> '' AND "
           "current_setting('synchronous_commit') IN ('on', 'remote_apply', 'remote_write') THEN "
           "'synchronous' WHEN EXISTS (SELECT 1 FROM pg_stat_replication) THEN 'asynchronous' ELSE 'none' "
           "END";
  }
  std::vector<std::string> Guards(const std::vector<RowRule>& rules) const override {
    return ServerGuards(rules);
  }
  std::vector<std::string> RenewedGuards(const std::vector<RowRule>& rules,
                                         const std::vector<std::string>& tables) const override {
    return ServerRenewedGuards(rules, tables);
  }
  Result<> GrantStation(const std::string& role) override {
    Result<std::vector<Row>> named =
        Query("SELECT set_config('quorvix.grantee', ?, true), to_regrole(?)", {role, Quoted(role)});
    if (!named) return named.error();
    if (!named->front().columns.at(1)) return Refusal(Wide("the server has no role \"" + role + "\""));
    if (Result<std::vector<Row>> granted = Query(ServerStationGrants(), {}); !granted) return granted.error();
    return {};
  }

 private:
  Failure Failed() const { return Said(odbc_, SQL_HANDLE_DBC, connection_.get(), password_); }

  // Each statement its own transaction again, as outside Begin and Commit.
  void AutocommitOn() {
    odbc_.SetConnectAttrW(connection_.get(), SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  }

  // One column of the fetched row as text, read in as many parts as it takes.
  Result<std::optional<std::string>> Column(SQLHANDLE statement, SQLUSMALLINT column) {
    SqlText value;
    SQLWCHAR part[256];
    for (;;) {
      SQLLEN length = 0;
      const SQLRETURN got = odbc_.GetData(statement, column, SQL_C_WCHAR, part, sizeof part, &length);
      if (got == SQL_NO_DATA) break;
      if (!Succeeded(got)) return Said(odbc_, SQL_HANDLE_STMT, statement, password_);
      if (length == SQL_NULL_DATA) return std::optional<std::string>();
      const std::size_t whole = sizeof part / sizeof part[0] - 1;
      const bool more = length == SQL_NO_TOTAL || static_cast<std::size_t>(length) / sizeof(SQLWCHAR) > whole;
      value.append(part, more ? whole : static_cast<std::size_t>(length) / sizeof(SQLWCHAR));
      if (!more) break;
    }
    return std::optional<std::string>(FromSql(value.data(), value.size()));
  }

  const OdbcLibrary& odbc_;
  Handle<SQL_HANDLE_ENV> environment_;
  Handle<SQL_HANDLE_DBC> connection_;
  std::optional<std::string> password_;
};

// Whether the driver manager found no driver of the name asked for: IM002,
// or unixODBC's 01000 "Can't open lib" (which Wine's odbc32 passes on).
bool DriverMissing(const OdbcLibrary& odbc, SQLHANDLE connection) {
  const std::string state = Diagnose(odbc, SQL_HANDLE_DBC, connection).state;
  return state == "IM002" || state == "01000";
}

// PostgreSQL's Unicode driver, as psqlODBC names it on 64-bit Windows, then elsewhere.
std::vector<std::string> DriverNames() {
#ifdef _WIN32
  if (sizeof(void*) == 8) return {"PostgreSQL Unicode(x64)", "PostgreSQL Unicode"};
#endif
  return {"PostgreSQL Unicode"};
}

// A connection through PostgreSQL's Unicode driver, given its settings.
Result<Handle<SQL_HANDLE_DBC>> Connect(const OdbcLibrary& odbc, const Handle<SQL_HANDLE_ENV>& environment,
                                       const std::string& settings, int timeout,
                                       const std::optional<std::string>& password) {
  SQLHANDLE made = nullptr;
  if (!Succeeded(odbc.AllocHandle(SQL_HANDLE_DBC, environment.get(), &made)))
    return Said(odbc, SQL_HANDLE_ENV, environment.get(), std::nullopt);
  Handle<SQL_HANDLE_DBC> connection(odbc, made);
  // The driver hands it to libpq as connect_timeout, which counts for each
  // address of the server on its own.
  odbc.SetConnectAttrW(made, SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout)), 0);
  SQLRETURN connected = SQL_ERROR;
  for (const std::string& driver : DriverNames()) {
    SqlText connect = ToSql("Driver={" + driver + "};" + settings);
    connected =
        odbc.DriverConnectW(made, nullptr, connect.data(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (Succeeded(connected) || !DriverMissing(odbc, made)) break;
  }
  if (Succeeded(connected)) return connection;
  if (DriverMissing(odbc, made)) {
    return SystemFailure(
        L"PostgreSQL's ODBC driver (\"PostgreSQL Unicode\") is not installed: on Debian apt-get install "
        L"odbc-postgresql, on Windows psqlODBC");
  }
  return Said(odbc, SQL_HANDLE_DBC, made, password);
}

}  // namespace

Result<std::unique_ptr<Database>> OpenServer(const std::string& where) {
  Result<ServerUrl> url = ParseServerUrl(where);
  if (!url) return url.error();
  const Result<std::string> sslMode = SslMode(*url);
  if (!sslMode) return sslMode.error();
  const OdbcLibrary* odbc = LoadOdbc();
  if (!odbc) {
    return SystemFailure(
        L"the system's ODBC driver manager is not installed (libodbc.so.2): on Debian apt-get install "
        L"odbc-postgresql, which brings it and PostgreSQL's driver");
  }
  SQLHANDLE made = nullptr;
  if (!Succeeded(odbc->AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &made)))
    return SystemFailure(L"the system's ODBC driver manager could not be started");
  Handle<SQL_HANDLE_ENV> environment(*odbc, made);
  odbc->SetEnvAttr(made, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  // Read by libpq while connecting, removed once connected.
  std::optional<PasswordFile> passfile;
  if (url->password && !url->password->empty()) {
    Result<PasswordFile> written = PasswordFile::Write(*url->password);
    if (!written) return written.error();
    passfile.emplace(std::move(*written));
  }
  // One server at a time, the one that answered last first: the driver
  // cannot say which of a list libpq took, and that one is remembered. As
  // libpq does with a list, a server out of reach, or not what
  // target_session_attrs asks for, passes to the next; a refusal (a
  // password, a database) ends the tries. prefer-standby is libpq's two
  // rounds: a standby, else any server that answered.
  const std::string attrs = url->Option("target_session_attrs").value_or(std::string(kDefaultSessionAttrs));
  const std::vector<ServerHost> order = TryOrder(*url);
  std::vector<std::optional<ServerHost>> servers(order.begin(), order.end());
  if (servers.empty()) servers.emplace_back();  // the environment's or a service's
  std::vector<std::optional<ServerHost>> answered;
  std::vector<std::string> reasons;
  const bool twoRounds = attrs == "prefer-standby";
  for (const std::string& round :
       twoRounds ? std::vector<std::string>{"standby", "any"} : std::vector{attrs}) {
    const std::vector<std::optional<ServerHost>> tried = round == "any" && twoRounds ? answered : servers;
    for (const std::optional<ServerHost>& server : tried) {
      ServerUrl one = *url;
      if (server) one.hosts = {*server};
      std::erase_if(one.query, [](const auto& option) { return option.first == "target_session_attrs"; });
      one.query.emplace_back("target_session_attrs", round);
      const std::string settings =
          ConnectionString(one, *sslMode, passfile ? std::optional(passfile->path()) : std::nullopt);
      Result<Handle<SQL_HANDLE_DBC>> connection =
          Connect(*odbc, environment, settings, ConnectTimeout(*url), url->password);
      if (connection) {
        passfile.reset();
        if (server) RememberServer(*url, *server);
        return std::unique_ptr<Database>(std::make_unique<OdbcDatabase>(
            *odbc, std::move(environment), std::move(*connection), url->password));
      }
      // Only a server's own words, Said's, ask for a retry.
      const std::string said = Utf8(connection.error().text);
      if (connection.error().cause != Failure::Cause::retry) return connection.error();
      if (twoRounds && said.find("not in hot standby mode") != std::string::npos) answered.push_back(server);
      reasons.push_back(said.substr(kServerSaid.size()));
    }
  }
  std::string all;
  for (const std::string& reason : reasons) all += (all.empty() ? "" : "; ") + reason;
  return Told({all, Failure::Cause::retry});
}

}  // namespace ledger
