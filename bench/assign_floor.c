/* The yardstick for the ledger's part of one "quorvix-cli assign" on a
   PostgreSQL server: what any one-process-per-unit program pays. It connects
   with libpq to the same URL (the same authentication and TLS setting),
   reserves in one transaction sent at once (the ledger locked, the next MAC
   and the next SN taken, the unit inserted: one statement does the three),
   then records the unit written with one statement.

       assign_floor URL PATH */
#include <libpq-fe.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char kReserve[] =
    "BEGIN; SELECT id FROM mac_ranges ORDER BY id FOR UPDATE; "
    "WITH mac AS (UPDATE mac_ranges SET next = next + 1 WHERE id = (SELECT id FROM mac_ranges WHERE next <= "
    "last "
    "ORDER BY id LIMIT 1) RETURNING next - 1 AS value), "
    "sn AS (UPDATE sn_ranges SET next = next + 1 WHERE id = (SELECT id FROM sn_ranges WHERE next <= last "
    "ORDER BY id LIMIT 1) RETURNING prefix || lpad((next - 1)::text, width, '0') AS value) "
    "INSERT INTO units (mac, sn, path, station, host, time, state, mac_before, sn_before) "
    "SELECT lpad(upper(to_hex(mac.value)), 12, '0'), sn.value, %s, 'floor', 'floor', "
    "to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'), 'reserved', '001132ABCDEF', "
    "'ABCDEFGHIJKLM' FROM mac, sn RETURNING id; COMMIT";

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  PGconn* connection = PQconnectdb(argv[1]);
  if (PQstatus(connection) != CONNECTION_OK) {
    fprintf(stderr, "%s", PQerrorMessage(connection));
    return 1;
  }
  char* path = PQescapeLiteral(connection, argv[2], strlen(argv[2]));
  char reserve[2048];
  snprintf(reserve, sizeof reserve, kReserve, path);
  PQfreemem(path);
  /* One round trip: every statement's result comes back in turn. */
  char id[32] = "";
  int ok = PQsendQuery(connection, reserve);
  for (PGresult* result; ok && (result = PQgetResult(connection)) != NULL; PQclear(result)) {
    if (PQresultStatus(result) == PGRES_TUPLES_OK) snprintf(id, sizeof id, "%s", PQgetvalue(result, 0, 0));
    ok = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
  }
  const char* values[1] = {id};
  PGresult* recorded =
      PQexecParams(connection, "UPDATE units SET state = 'written' WHERE id = $1 AND state = 'reserved'", 1,
                   NULL, values, NULL, NULL, 0);
  ok = ok && id[0] && PQresultStatus(recorded) == PGRES_COMMAND_OK;
  PQclear(recorded);
  PQfinish(connection);
  return ok ? 0 : 1;
}
