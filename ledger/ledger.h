#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/ranges.h"

// The record of a production line: the blocks of MACs and SNs it may hand
// out, and every unit that got a pair, with what its file held before.
// Values are handed out in increasing order, each at most once; a value
// whose write failed is burned, never handed out again.
namespace ledger {

enum class UnitState {
  reserved,  // its values are taken; whether its file got them is not yet known
  written,   // its file holds its values
  failed,    // its file's write failed (restored says whether the old fields are back)
  replaced,  // its device was given new values since (assign --reassign)
};
std::string_view Name(UnitState state);
std::optional<UnitState> ParseUnitState(std::string_view name);
inline constexpr UnitState kUnitStates[] = {UnitState::reserved, UnitState::written, UnitState::failed,
                                            UnitState::replaced};

struct Unit {
  std::int64_t id = 0;
  std::string mac, sn, path, station, host;
  std::string time;         // when it was reserved, by the ledger's clock: a server's, where there is one
  std::string stationTime;  // the same by the station's own clock
  std::string role;         // the database role that reserved it; empty where there are none
  UnitState state = UnitState::reserved;
  std::string macBefore, snBefore;
  std::optional<bool> restored;           // for a failed unit: whether the old fields are back
  std::optional<std::string> replacedBy;  // for a replaced unit: the MAC of the unit that took its device
  std::optional<std::string> lease;       // for a unit programmed from a lease: the lease's id
};

// A block of values a station holds alone, to program from while the server
// cannot be reached: the block's MACs and SNs pair by their place in it.
struct Lease {
  std::string id;  // the station's own random id for it
  MacRange macs;
  SnRange sns;  // as many as macs
};

// A lease a reservation asks for in the same transaction: up to size values,
// fewer where the oldest ranges with any left hold fewer.
struct LeaseAsk {
  std::string id, machine;
  std::uint64_t size = 0;
};

// What assign asks for: a new unit for the file at path, which holds the
// values before.
struct Request {
  std::string id;  // this reservation's own, unique: how the station asks later whether it took place
  std::string path, station, host;
  std::string time;  // by the station's clock: the unit's station time
  std::string macBefore, snBefore;
  bool reassign = false;  // the file's values may belong to a unit, which is then replaced
  std::optional<LeaseAsk> lease;
};

// A unit a station programmed from its lease, as it sends it: request.id is
// the unit's own random id, which the server keeps once.
struct LeasedUnit {
  Request request;
  std::string lease, mac, sn;
  UnitState state = UnitState::written;
  std::optional<bool> restored;
  bool writing = false;       // its file's write began: its values may be on a device
  bool forReconcile = false;  // reserved, and left so for ledger reconcile to settle
};

// Which units a listing takes, oldest first; every one when nothing is set.
struct UnitFilter {
  std::optional<UnitState> state;
  std::optional<std::string> station;
  std::optional<std::string> since, until;  // UTC ISO 8601 times, since inclusive, until exclusive
  std::vector<std::string> values;          // units with one of these as MAC, SN, MAC or SN before
  std::optional<int> latest;                // only the latest so many, newest first
  std::optional<std::int64_t> unit;         // this unit alone
  bool mine = false;  // only units the role connected reserved (or a ledger of an earlier version did)
};

// One change of a unit, as its history keeps it: made (no state before),
// or moved from one state to another, or given another path.
struct Change {
  std::int64_t id = 0, unit = 0;
  std::string mac, sn;  // the unit's
  std::optional<UnitState> before;
  UnitState state = UnitState::reserved;
  std::string path, station, role, time;
  std::string note;  // "as found": the unit as a ledger of an earlier version held it
};

struct RangeSummary {
  enum class Kind { mac, sn } kind = Kind::mac;
  std::string first, last;
  std::uint64_t handedOut = 0, left = 0;
  std::uint64_t lastHour = 0, lastDay = 0;  // handed out in the hour and the 24 hours before now
};

// The latest run-out told: the last second a four-digit year names.
constexpr std::chrono::sys_seconds kLatestRunOut{std::chrono::sys_days{std::chrono::year{9999} / 12 / 31} +
                                                 std::chrono::seconds{86399}};

// When a range runs out at its last 24 hours' pace: now, when it has; nothing
// when it gave out no value in that time; at the latest kLatestRunOut.
std::optional<std::chrono::sys_seconds> RunsOut(const RangeSummary& range, std::chrono::sys_seconds now);

// A unit reserved, and the ranges its values came from, as they are after;
// or, found, the unit whose values the file held already, now written.
struct Reservation {
  Unit unit;
  RangeSummary macs, sns;
  bool found = false;
  std::optional<Lease> lease;  // granted with the unit, where one was asked for and values were left
};

// A reservation known by its unit alone: its ranges not counted (first empty).
inline Reservation Uncounted(const Unit& unit) {
  Reservation reservation;
  reservation.unit = unit;
  reservation.sns.kind = RangeSummary::Kind::sn;
  return reservation;
}

// Units reserved in one hour ("2026-12-09T14") by one station.
struct HourCount {
  std::string hour, station;
  std::uint64_t units = 0;
};

// A station whose clock was off the ledger's on its latest unit.
struct ClockOff {
  std::string station, time, stationTime;
  std::int64_t seconds = 0;  // the station's clock less the ledger's
};

// How far a station's clock may be off the ledger's before status names it.
inline constexpr std::int64_t kClockTolerance = 120;

// Whether a commit of the ledger is on a standby too, as far as the role
// connected can see: synchronous when the server waits for a standby
// (synchronous_standby_names) before it acknowledges a commit; asynchronous
// when standbys stream from it without that; none when no standby does, and
// on SQLite, which has no standby.
enum class Replication { none, asynchronous, synchronous };
std::string_view Name(Replication replication);
inline constexpr Replication kReplications[] = {Replication::none, Replication::asynchronous,
                                                Replication::synchronous};

// One station's leases as the server knows them. Of the values leased, the
// server has the units sent from them, had the rest given back or lost them
// with the withdrawn leases; what is left of them is still the station's,
// unused or programmed and not yet sent, which the server cannot tell apart.
struct StationLeases {
  std::string station;
  std::uint64_t leased = 0, sent = 0, givenBack = 0, lost = 0, left = 0;
  std::string heard;  // when the server last recorded a unit of the station's
};

struct Summary {
  Replication replication = Replication::none;
  std::vector<RangeSummary> ranges;
  std::vector<ClockOff> clocks;
  std::uint64_t units[std::size(kUnitStates)] = {};  // by state, in kUnitStates' order
  std::vector<StationLeases> leases;
  std::uint64_t givenBackLeft = 0;  // given back and not yet handed out again
};

// A station's leases withdrawn: how many, and their values no one used.
struct Withdrawal {
  std::uint64_t leases = 0, lost = 0;
};

// The outcome of recording what a file holds for a unit.
enum class Recorded {
  done,
  already,  // the unit had left the state the record needs: changed by someone else
};

class Ledger {
 public:
  virtual ~Ledger() = default;
  // What only the ledger's owner does, refused to anyone else: making it,
  // adding ranges (refused where one overlaps a range the ledger has), and
  // giving a database role what a station needs.
  virtual Result<> Init(const MacRange& macs, const SnRange& sns) = 0;
  virtual Result<> Extend(const std::optional<MacRange>& macs, const std::optional<SnRange>& sns) = 0;
  virtual Result<> Grant(const std::string& role) = 0;
  // The time now by the ledger's clock (UTC ISO 8601): the server's, where
  // there is one, else this station's.
  virtual Result<std::string> Now() = 0;
  // In one durable transaction: where the file holds a reserved or failed
  // unit's own MAC and SN, its write landed: that unit is written, there,
  // and found. Otherwise refuses when the file's MAC or SN is a unit's (but
  // with reassign: the new unit is to replace it once written), takes the
  // next MAC and the next SN from the oldest ranges that have any left, and
  // records a reserved unit.
  virtual Result<Reservation> Reserve(const Request& request) = 0;
  // When the reservation's commit got no answer, asks on a new connection:
  // committed, it is confirmed by a write committed there (which a
  // synchronous standby holds before it is answered) and given as usual;
  // not committed, a failure to retry; when that cannot be told either, a
  // failure in doubt, which the unit reserved for request.id settles later.
  // The ranges of a reservation confirmed so carry no counts (first empty).
  //
  // The unit reserved for a request, if the ledger has one.
  virtual Result<std::optional<Unit>> Requested(const std::string& id) = 0;
  // Records how a reserved unit's write ended: failed, with whether the old
  // fields are back, only while the unit is reserved; written also over
  // failed, which a reconcile may have recorded before the write landed.
  // Written, the units whose values its file held before are replaced in
  // the same transaction: the device is counted once, and only once it
  // carries its new values.
  virtual Result<Recorded> Settle(std::int64_t unit, UnitState state, std::optional<bool> restored) = 0;
  // A file at path was found to hold a reserved or failed unit's values:
  // the unit is written, there, and replaces as Settle does.
  virtual Result<Recorded> Found(std::int64_t unit, const std::string& path) = 0;
  // Whether a unit's values before are what any blank may carry, so that a
  // file holding them shows no device in particular: other units have them
  // before too, and no unit has them as its own MAC and SN.
  virtual Result<bool> BlankBefore(const Unit& unit) = 0;
  // Per range what was handed out and what is left, as of now (UTC ISO 8601).
  virtual Result<Summary> Summarize(const std::string& now) = 0;
  // How many of a range's values were handed out in the hour and the day before now.
  virtual Result<> CountRecent(RangeSummary& range, const std::string& now) = 0;
  // The units the filter takes, one at a time; the visit's failure ends the
  // listing.
  virtual Result<> EachUnit(const UnitFilter& filter, const std::function<Result<>(const Unit&)>& visit) = 0;
  // The changes of units, oldest first, one at a time: the filter's unit,
  // station, state (after the change) and times are the change's own.
  virtual Result<> EachChange(const UnitFilter& filter,
                              const std::function<Result<>(const Change&)>& visit) = 0;
  // Records a unit programmed from a lease of the role connected: made and
  // settled in one transaction (one left reserved stays so); already, and nothing changed, where the
  // ledger has a unit of its id. Refused from a machine other than the one
  // the lease was granted to.
  virtual Result<Recorded> Send(const LeasedUnit& unit, const std::string& machine) = 0;
  // Gives back the values of a lease from its used-th on, which the station
  // that holds it never used: handed out again before any new value. Given
  // back already from the same place, nothing changes.
  virtual Result<> GiveBack(const std::string& lease, std::uint64_t used) = 0;
  // The owner's alone: ends every lease of a station that is gone; its
  // unused values are never handed out again.
  virtual Result<Withdrawal> Withdraw(const std::string& station) = 0;
  // The leases of these that have ended on the server, by id.
  virtual Result<std::vector<std::string>> Ended(const std::vector<std::string>& leases) = 0;
  // Records, written at request's path, a device that came back holding mac
  // and sn of a withdrawn lease; nothing where they are no such lease's.
  virtual Result<std::optional<Unit>> FromWithdrawn(const Request& request, const std::string& mac,
                                                    const std::string& sn) = 0;
  // Units per hour and station since a time, oldest hour first.
  virtual Result<std::vector<HourCount>> UnitsPerHour(const std::string& since) = 0;
};

// The ledger at where: a postgresql:// URL names a server, anything else an
// SQLite file. For init the file must not exist yet and is made, or the
// server's database must hold no ledger yet; for everything else it must.
Result<std::unique_ptr<Ledger>> OpenLedger(const std::string& where, bool create);

// Whether a failure to open a server ledger is the server not answering at
// all (refused, timed out, no route), as a cut of the network leaves it; a
// server that answers busy is not.
bool Unreachable(const Failure& failure);

// The ledger as messages name it: an SQLite file by its absolute path, a
// server by its URL without the password.
std::string LedgerName(const std::string& where);

}  // namespace ledger
