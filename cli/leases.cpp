#include "cli/leases.h"

#include <CLI/CLI.hpp>
#include <charconv>

#include "files/host.h"
#include "files/utf8.h"
#include "ledger/server_url.h"

void AddLeaseFileOption(CLI::App& command, LeaseOptions& options) {
  command
      .add_option("--lease-file", options.file,
                  "This station's lease file, on its own disk (" + ledger::DefaultLeaseFile() + ")")
      ->type_name("FILE");
}

void AddLeaseSizeOption(CLI::App& command, LeaseOptions& options) {
  command
      .add_option("--lease", options.size,
                  "Keep about N values leased from a server ledger, to program from while it cannot be "
                  "reached (QUORVIX_LEASE)")
      ->type_name("N")
      ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1000000}));
}

Result<std::optional<std::uint64_t>> LeaseSize(const LeaseOptions& options) {
  if (options.size) return options.size;
  const std::optional<std::string> named = EnvironmentVariable("QUORVIX_LEASE");
  if (!named || named->empty()) return std::optional<std::uint64_t>();
  std::uint64_t size = 0;
  const auto [end, error] = std::from_chars(named->data(), named->data() + named->size(), size);
  if (error != std::errc() || end != named->data() + named->size() || size == 0 || size > 1000000)
    return Refusal(Wide("QUORVIX_LEASE is \"" + *named + "\": a count of values from 1 to 1000000"));
  return std::optional<std::uint64_t>(size);
}

Result<ledger::LeaseFile> OpenStationLease(const LeaseOptions& options, const std::string& where,
                                           const std::string& station) {
  if (!ledger::IsServerUrl(where))
    return Refusal(
        L"a lease is for a server ledger: an SQLite ledger is on this station already and needs none");
  return ledger::LeaseFile::Open(options.file.value_or(ledger::DefaultLeaseFile()), ledger::LedgerName(where),
                                 station, MachineId());
}

Result<Sending> SendWaiting(ledger::Ledger& ledger, ledger::LeaseFile& lease) {
  Result<std::vector<ledger::LeasedUnit>> waiting = lease.Waiting();
  if (!waiting) return waiting.error();
  Sending sending;
  for (const ledger::LeasedUnit& unit : *waiting) {
    if (unit.state == ledger::UnitState::reserved && !unit.forReconcile) {
      ++sending.unsettled;
      continue;
    }
    if (Result<ledger::Recorded> sent = ledger.Send(unit, MachineId()); !sent) return sent.error();
    if (Result<> marked = lease.Sent(unit.request.id); !marked) return marked.error();
    ++sending.sent;
  }
  Result<std::vector<ledger::GivenBack>> given = lease.ToGiveBack();
  if (!given) return given.error();
  for (const ledger::GivenBack& back : *given) {
    if (Result<> told = ledger.GiveBack(back.lease, back.used); !told) return told.error();
    if (Result<> marked = lease.GivenBackSent(back.lease); !marked) return marked.error();
  }
  // A lease the owner withdrew, the station being thought gone: its values
  // left are no longer its to give.
  Result<std::vector<std::string>> inUse = lease.InUse();
  if (!inUse) return inUse.error();
  Result<std::vector<std::string>> ended = ledger.Ended(*inUse);
  if (!ended) return ended.error();
  for (const std::string& withdrawn : *ended) {
    if (Result<> marked = lease.Withdrawn(withdrawn); !marked) return marked.error();
    ++sending.withdrawn;
  }
  return sending;
}
