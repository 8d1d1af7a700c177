// ledger sync: sends the units this station programmed from its lease while
// the server could not be reached, without assigning anything.
#include "cli/commands.h"
#include "cli/leases.h"
#include "cli/ledger_access.h"
#include "cli/messages.h"
#include "files/host.h"
#include "files/utf8.h"

namespace {

struct SyncOptions {
  LedgerArgument ledger;
  std::optional<std::string> station;
  LeaseOptions lease;
};

Outcome RunSync(const ToolContext& tool, const SyncOptions& options) {
  const std::string station = options.station.value_or(HostName());
  if (Result<> named = CheckStationName(station); !named) return Refuse(tool, options.ledger, named.error());
  Result<std::string> where = ChosenLedger(tool, options.ledger);
  if (!where) return Refuse(tool, options.ledger, where.error());
  Result<ledger::LeaseFile> lease = OpenStationLease(options.lease, *where, station);
  if (!lease) return Refuse(tool, options.ledger, lease.error());
  return WithLedger(tool, options.ledger, false, [&](ledger::Ledger& ledger, Outcome&) -> Result<> {
    Result<Sending> sent = SendWaiting(ledger, *lease);
    if (!sent) return sent.error();
    Print(tool.out, std::to_string(sent->sent) + " units sent" +
                        (sent->unsettled ? "; " + std::to_string(sent->unsettled) +
                                               " reserved on this station wait for the same assign again, "
                                               "which records how their writes ended"
                                         : std::string()) +
                        "\n");
    return {};
  });
}

void DeclareSync(CLI::App& sync, Work& work) {
  auto options = std::make_shared<SyncOptions>();
  AddLedgerArgument(sync, options->ledger, true);
  sync.add_option("--station", options->station, "This station's name in the ledger (the host name)")
      ->type_name("NAME");
  AddLeaseFileOption(sync, options->lease);
  RunsWith(sync, work, options, RunSync);
}

}  // namespace

const Command kLedgerSync{
    "sync", "Send the units this station programmed from its lease while the server could not be reached",
    DeclareSync};
