#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ledger/ranges.h"

// The record of a production line: the blocks of MACs and SNs it may hand
// out, and every unit that got a pair, with what its file held before.
// Values are handed out in increasing order, each at most once; a value
// whose write failed is burned, never handed out again.

struct Unit {
  std::int64_t id = 0;
  std::string mac, sn, path, station, host, time;
  std::string state;  // reserved, written or failed
  std::string macBefore, snBefore;
  std::optional<bool> restored;  // for a failed unit: whether the old fields are back
};

// What assign asks for: a new unit for the file at path, which holds the
// values before.
struct Request {
  std::string path, station, host, time, macBefore, snBefore;
  bool reassign = false;  // the file's values may belong to a written unit
};

struct RangeStatus {
  std::string kind;  // "mac" or "sn"
  std::string first, last;
  std::uint64_t handedOut = 0, left = 0;
};

struct Status {
  std::vector<RangeStatus> ranges;
  std::uint64_t reserved = 0, written = 0, failed = 0;
};

class Ledger {
 public:
  virtual ~Ledger() = default;
  virtual Result<> Init(const MacRange& macs, const SnRange& sns) = 0;
  // Refuses a range that overlaps one the ledger has.
  virtual Result<> Extend(const std::optional<MacRange>& macs, const std::optional<SnRange>& sns) = 0;
  // In one durable transaction: refuses when the file's values belong to a
  // written unit (but with reassign), takes the next MAC and the next SN
  // from the oldest ranges that have any left, and records a reserved unit.
  virtual Result<Unit> Reserve(const Request& request) = 0;
  // Records how the unit's write ended: written, or failed with whether the
  // old fields were put back; or reserved units a reconcile settled.
  virtual Result<> Settle(std::int64_t unit, const std::string& state, std::optional<bool> restored) = 0;
  virtual Result<Status> Summary() = 0;
  // Oldest first; all of them, or those in one state.
  virtual Result<std::vector<Unit>> Units(const std::optional<std::string>& state) = 0;
};

// The ledger as messages name it: a server URL without its password.
std::string LedgerName(const std::string& where);

// The ledger at where: an SQLite file. For init it must not exist yet and is
// made; for everything else it must.
Result<std::unique_ptr<Ledger>> OpenLedger(const std::string& where, bool create);
