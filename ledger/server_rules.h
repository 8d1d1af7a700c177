#pragma once

#include <string>
#include <vector>

#include "ledger/database.h"

// The ledger's rules as PostgreSQL keeps them: triggers for its rows, and the
// privileges of a station's role.
namespace ledger {

// A PostgreSQL server's time now as the ledger writes times.
inline constexpr char kServerNow[] = "to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')";

std::vector<std::string> ServerGuards(const std::vector<RowRule>& rules);
// The rules made anew over an earlier version's, and table, new, kept.
std::vector<std::string> ServerRenewedGuards(const std::vector<RowRule>& rules,
                                             const std::vector<std::string>& tables);

// What gives the role named by the setting quorvix.grantee what a station
// needs, in the database and schema the ledger is in.
std::string ServerStationGrants();

}  // namespace ledger
