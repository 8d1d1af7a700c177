#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ledger/ledger.h"

namespace ledger {

class Database;

// A lease this station gives back from its used-th value on.
struct GivenBack {
  std::string lease;
  std::uint64_t used = 0;
};

// The station's own record of its leases: the blocks a server ledger leased
// to it alone, and each unit programmed from them while the server could
// not be reached, kept until the server has it. A small SQLite file on the
// station's disk, each change committed durably; one file serves one
// station on one ledger.
class LeaseFile {
 public:
  // The lease file at path, made with its folder when missing; refused on a
  // network file system, and when it serves another station or ledger.
  // Refused too when the file was made on another machine than this one,
  // whose id is machine: a copy's leases are that machine's.
  static Result<LeaseFile> Open(const std::string& path, const std::string& ledger,
                                const std::string& station, const std::string& machine);
  LeaseFile(LeaseFile&&) noexcept;
  ~LeaseFile();

  // Leased values not yet programmed.
  Result<std::uint64_t> Left();
  Result<> Add(const Lease& lease);
  // The next leased value, recorded reserved for request before it is
  // given; none when every lease is used up.
  Result<std::optional<LeasedUnit>> Take(const Request& request);
  // A reserved unit of an earlier run for the file at path, which a run
  // stopped before it recorded how its write ended.
  Result<std::optional<LeasedUnit>> Reserved(const std::string& path);
  // Marks a reserved unit whose file is about to be written: from then on
  // its values may be on a device.
  Result<> Writing(const std::string& request);
  // A reserved unit whose write began and whose file now shows nothing of
  // it: its device may have left with its values. It stays reserved, is
  // sent so, and is settled on the server by ledger reconcile.
  Result<> ForReconcile(const std::string& request);
  // The unit of this lease file that has mac or sn, where one has.
  Result<std::optional<LeasedUnit>> Holding(const std::string& mac, const std::string& sn);
  // How a reserved unit's write ended: written or failed.
  Result<> Settle(const std::string& request, UnitState state, std::optional<bool> restored);
  // The units not yet sent, oldest first; reserved ones too, which are sent
  // once settled.
  Result<std::vector<LeasedUnit>> Waiting();
  Result<> Sent(const std::string& request);

  // Ends every lease in use here at the values used so far, none of the
  // rest taken again; then each given back and not yet told to the server.
  Result<std::vector<GivenBack>> GiveBack();
  Result<std::vector<GivenBack>> ToGiveBack();
  Result<> GivenBackSent(const std::string& lease);
  // The leases values are still taken from.
  Result<std::vector<std::string>> InUse();
  // A lease the ledger's owner withdrew: nothing more is taken from it.
  Result<> Withdrawn(const std::string& lease);

  // Since when the server has not answered, where it was last tried within
  // a minute: till then an assign goes to the lease without trying it.
  Result<std::optional<std::string>> Unanswered();
  Result<> NotAnswered();
  Result<> Answered();

 private:
  explicit LeaseFile(std::unique_ptr<Database> database);
  Result<std::vector<LeasedUnit>> Units(const std::string& where, const std::vector<std::string>& values);
  std::unique_ptr<Database> db_;
  std::string station_;
};

// Where the lease file is unless --lease-file says: one per machine, since
// shifts log in as different users.
std::string DefaultLeaseFile();

}  // namespace ledger
