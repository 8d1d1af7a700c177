#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "ledger/server_url.h"

namespace ledger {

// How a station connects to a ledger server through PostgreSQL's ODBC
// driver: the URL's parts where it names them, the rest left to libpq,
// which takes them from PostgreSQL's environment and files as psql does;
// and the settings every session carries, whatever the server, the role or
// the database says.

// The TLS mode asked for: the URL's sslmode, else its service's (the
// service file), else PGSSLMODE, else prefer, as libpq takes it. Resolved
// here because the driver would otherwise send its own default; refused
// unless spelled as PostgreSQL spells a mode, since psqlODBC would take any
// other for disable and send the password in clear.
Result<std::string> SslMode(const ServerUrl& url);

// A password the URL holds, in a password file libpq reads (passfile) for
// as long as this lives: in a folder of its own that only this user may
// open, removed with it. psqlODBC writes its connection string and every
// keyword it hands libpq, a password among them, into its logs (CommLog,
// Debug), which odbcinst.ini may turn on; a password file's name is all
// they see. PGPASSWORD would do on Linux, but under Wine the host's libpq
// reads the host's environment, which a Windows program cannot change.
// Refused when PGPASSWORD holds another password: libpq would send that one.
class PasswordFile {
 public:
  static Result<PasswordFile> Write(const std::string& password);
  PasswordFile(PasswordFile&& other) noexcept;
  PasswordFile(const PasswordFile&) = delete;
  PasswordFile& operator=(const PasswordFile&) = delete;
  ~PasswordFile();

  // The file as libpq opens it (under Wine, the host's path).
  const std::string& path() const { return path_; }

 private:
  PasswordFile(std::filesystem::path folder, std::string path);

  std::filesystem::path folder_;  // empty once moved from
  std::string path_;
};

// The connection string for the driver, without the driver's name: the TLS
// mode, and for libpq (pqopt, quoted as libpq quotes, so each value arrives
// as given) only the parts the URL names, the password file when there is
// one, and the session's settings:
//
//   - lock_timeout: a ledger held longer than 10 s is given up on, not waited for;
//   - idle_in_transaction_session_timeout: a station that stops inside a
//     transaction (stopped, cut off, without power) loses it after 5 s, and
//     with it the ledger's lock, so it never holds up the line;
//   - TCP keepalives on both ends: a dead station's connection is dropped
//     within about 30 s;
//   - synchronous_commit on: a reservation committed is on the server's disk.
//
// Host, port, database and user go to libpq, not to the driver's Server,
// Port, Database and Uid, which it passes on with their braces (and whose
// Port holds 10 characters, too few for a list). libpq tries a list in its
// order and takes the first server that is what target_session_attrs asks
// for (read-write unless the URL says otherwise); OpenServer hands it one
// server at a time, to know which one answered. connect_timeout is no part
// of it: the driver's login timeout (SQL_ATTR_LOGIN_TIMEOUT) reaches libpq
// as its connect_timeout, which counts for each server on its own.
std::string ConnectionString(const ServerUrl& url, const std::string& sslMode,
                             const std::optional<std::string>& passfile);

}  // namespace ledger
