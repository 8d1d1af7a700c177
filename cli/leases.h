#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ledger/lease_file.h"
#include "ledger/ledger.h"

namespace CLI {
class App;
}

// What assign and ledger sync share about a station's lease: its options,
// its lease file, and sending the units programmed from it.

struct LeaseOptions {
  std::optional<std::uint64_t> size;  // --lease: values the station keeps leased
  std::optional<std::string> file;    // --lease-file
};

void AddLeaseFileOption(CLI::App& command, LeaseOptions& options);
void AddLeaseSizeOption(CLI::App& command, LeaseOptions& options);

// The values to keep leased: --lease, else QUORVIX_LEASE; nothing for neither.
Result<std::optional<std::uint64_t>> LeaseSize(const LeaseOptions& options);

// The station's lease file for the ledger at where; a server ledger's alone.
Result<ledger::LeaseFile> OpenStationLease(const LeaseOptions& options, const std::string& where,
                                           const std::string& station);

// What a send did: units the server now has, and units whose write's end
// the station has not recorded yet, which wait for the same assign again.
struct Sending {
  std::uint64_t sent = 0, unsettled = 0, withdrawn = 0;
};

// Sends each unit programmed from the lease and settled, once: a unit the
// server has already (a send cut after its commit) is only marked sent;
// then the leases given back. The first that fails ends the send. Leases
// the ledger's owner withdrew are given up.
Result<Sending> SendWaiting(ledger::Ledger& ledger, ledger::LeaseFile& lease);
