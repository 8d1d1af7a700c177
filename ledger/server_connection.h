#pragma once

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
// here because the driver would otherwise send its own default.
std::string SslMode(const ServerUrl& url);

// The connection string for the driver, without the driver's name: only
// the parts the URL names, the TLS mode, and the session's settings:
//
//   - lock_timeout: a ledger held longer than 10 s is given up on, not waited for;
//   - idle_in_transaction_session_timeout: a station that stops inside a
//     transaction (stopped, cut off, without power) loses it after 5 s, and
//     with it the ledger's lock, so it never holds up the line;
//   - TCP keepalives on both ends: a dead station's connection is dropped
//     within about 30 s;
//   - synchronous_commit on: a reservation committed is on the server's disk.
std::string ConnectionString(const ServerUrl& url);

}  // namespace ledger
