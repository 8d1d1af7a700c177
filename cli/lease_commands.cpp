// A station's lease from the ledger's side: ledger sync sends the units the
// station programmed from it while the server could not be reached; ledger
// release also gives back the values it never used, for the ledger to hand
// out again; ledger withdraw, the owner's, ends the leases of a station that
// is gone, their unused values never handed out again.
#include <filesystem>

#include "cli/commands.h"
#include "cli/leases.h"
#include "cli/ledger_access.h"
#include "cli/messages.h"
#include "files/host.h"
#include "files/utf8.h"

namespace {

struct StationOptions {
  LedgerArgument ledger;
  std::optional<std::string> station;
  LeaseOptions lease;
};

std::string SentText(const Sending& sent) {
  std::string text = std::to_string(sent.sent) + " units sent";
  if (sent.unsettled)
    text += "; " + std::to_string(sent.unsettled) +
            " reserved on this station wait for the same assign again, which records how their writes ended";
  if (sent.withdrawn)
    text += "; " + std::to_string(sent.withdrawn) +
            " leases were withdrawn by the ledger's owner, and nothing more is taken from them";
  return text;
}

// Runs work on the station's lease file and the ledger it serves.
Outcome WithStationLease(const ToolContext& tool, const StationOptions& options,
                         const std::function<Result<>(ledger::Ledger&, ledger::LeaseFile&)>& work) {
  const std::string station = options.station.value_or(HostName());
  if (Result<> named = CheckStationName(station); !named) return Refuse(tool, options.ledger, named.error());
  Result<std::string> where = ChosenLedger(tool, options.ledger);
  if (!where) return Refuse(tool, options.ledger, where.error());
  // A mistyped --lease-file would make an empty one and send nothing.
  const std::string file = options.lease.file.value_or(ledger::DefaultLeaseFile());
  if (std::error_code missing; !std::filesystem::exists(std::filesystem::path(Wide(file)), missing))
    return Refuse(tool, options.ledger,
                  Refusal(Wide("there is no lease file at " + file + ": --lease-file names this station's")));
  Result<ledger::LeaseFile> lease = OpenStationLease(options.lease, *where, station);
  if (!lease) return Refuse(tool, options.ledger, lease.error());
  return WithLedger(tool, options.ledger, false, [&](ledger::Ledger& ledger, Outcome&) -> Result<> {
    if (Result<> answered = lease->Answered(); !answered) return answered;
    return work(ledger, *lease);
  });
}

Outcome RunSync(const ToolContext& tool, const StationOptions& options) {
  return WithStationLease(tool, options, [&](ledger::Ledger& ledger, ledger::LeaseFile& lease) -> Result<> {
    Result<Sending> sent = SendWaiting(ledger, lease);
    if (!sent) return sent.error();
    Print(tool.out, SentText(*sent) + "\n");
    return {};
  });
}

// Marked in the lease file first: once it is, no assign takes from the
// lease, whether or not the server heard of it; told to the server after,
// by this release or the next send.
Outcome RunRelease(const ToolContext& tool, const StationOptions& options) {
  return WithStationLease(tool, options, [&](ledger::Ledger& ledger, ledger::LeaseFile& lease) -> Result<> {
    Result<std::vector<ledger::GivenBack>> marked = lease.GiveBack();
    if (!marked) return marked.error();
    Result<Sending> sent = SendWaiting(ledger, lease);
    if (!sent) return sent.error();
    Print(tool.out, SentText(*sent) + "; " + std::to_string(marked->size()) + " leases given back\n");
    return {};
  });
}

void DeclareStation(CLI::App& command, StationOptions& options) {
  AddLedgerArgument(command, options.ledger, true);
  command.add_option("--station", options.station, "This station's name in the ledger (the host name)")
      ->type_name("NAME");
  AddLeaseFileOption(command, options.lease);
}

void DeclareSync(CLI::App& sync, Work& work) {
  auto options = std::make_shared<StationOptions>();
  DeclareStation(sync, *options);
  RunsWith(sync, work, options, RunSync);
}

void DeclareRelease(CLI::App& release, Work& work) {
  auto options = std::make_shared<StationOptions>();
  DeclareStation(release, *options);
  RunsWith(release, work, options, RunRelease);
}

struct WithdrawOptions {
  LedgerArgument ledger;
  std::string station;
};

Outcome RunWithdraw(const ToolContext& tool, const WithdrawOptions& options) {
  return WithLedger(tool, options.ledger, false, [&](ledger::Ledger& ledger, Outcome&) -> Result<> {
    Result<ledger::Withdrawal> withdrawn = ledger.Withdraw(options.station);
    if (!withdrawn) return withdrawn.error();
    Print(tool.out, std::to_string(withdrawn->leases) + " leases of station " + options.station +
                        " withdrawn; " + std::to_string(withdrawn->lost) +
                        " of its leased values were never sent back as units and are never handed out again "
                        "(a device that comes back with one is recorded by ledger reconcile)\n");
    return {};
  });
}

void DeclareWithdraw(CLI::App& withdraw, Work& work) {
  auto options = std::make_shared<WithdrawOptions>();
  AddLedgerArgument(withdraw, options->ledger, true);
  withdraw.add_option("STATION", options->station, "The station that is gone, as the ledger names it")
      ->required();
  RunsWith(withdraw, work, options, RunWithdraw);
}

}  // namespace

const Command kLedgerSync{
    "sync", "Send the units this station programmed from its lease while the server could not be reached",
    DeclareSync};
const Command kLedgerRelease{
    "release", "Send what waits, and give back the leased values this station has not used", DeclareRelease};
const Command kLedgerWithdraw{
    "withdraw", "The ledger's owner ends the leases of a station that is gone; their unused values are lost",
    DeclareWithdraw};
