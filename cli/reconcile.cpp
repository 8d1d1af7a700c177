// ledger reconcile: settles the units a crash left reserved, by what files
// hold, taking as evidence only what one device alone can show: a unit's own
// MAC and SN, or values before that no other unit has. Every blank carries
// the same factory values at the same path, so a blank found where a unit's
// device stood shows nothing of that device. Without files, the units this
// station reserved, each by the file at its path, which means something on
// this station alone; with files, on any station, the unit whose MAC and SN
// a file holds is written, there: a device that comes back is how a lost
// record is found again. The tool's own backups and temporary files are
// copies, which show no device. A unit leaves reserved once, and a written
// unit is never changed.

#include "cli/commands.h"
#include "cli/ledger_access.h"
#include "cli/messages.h"
#include "cli/reading.h"
#include "files/clock.h"
#include "files/host.h"
#include "files/utf8.h"
#include "ledger/journal.h"
#include "vendor/backup.h"
#include "vendor/temporary_file.h"

namespace {

struct ReconcileOptions {
  LedgerArgument ledger;
  std::vector<std::string> files;
  std::optional<std::string> station;
  bool json = false;
};

class Reconciling {
 public:
  Reconciling(const ToolContext& tool, const ReconcileOptions& options, ledger::Ledger& ledger,
              Outcome& outcome)
      : tool_(tool), options_(options), ledger_(ledger), outcome_(outcome) {}

  // The units this station left reserved, by the files at their paths; as
  // they are read, so that memory stays flat however many there are.
  Result<> ByStation() {
    ledger::UnitFilter filter;
    filter.state = ledger::UnitState::reserved;
    filter.station = options_.station.value_or(HostName());
    filter.mine = true;  // another role's units under the same name are that station's to settle
    return ledger_.EachUnit(filter, [&](const ledger::Unit& listed) -> Result<> {
      ledger::Unit unit = listed;
      Result<StoredFields> fields = ReadFields(tool_.files, Wide(unit.path));
      std::optional<std::string> why;
      if (!fields) {
        why = "its file cannot be read: " + Describe(fields.error());
      } else if (Holds(*fields, unit.mac, unit.sn)) {
        if (Result<> settled = Settle(unit, ledger::UnitState::written, std::nullopt, why); !settled)
          return settled;
      } else if (Holds(*fields, unit.macBefore, unit.snBefore)) {
        Result<bool> blank = ledger_.BlankBefore(unit);
        if (!blank) return blank.error();
        if (*blank) {
          why =
              "its file holds the factory values every blank carries: a fresh blank may stand where the "
              "device was";
        } else if (Result<> settled = Settle(unit, ledger::UnitState::failed, true, why); !settled) {
          return settled;
        }
      } else {
        why = "its file holds other values: MAC " + VendorLayout::HexText(fields->mac) + ", SN " +
              ShownText(fields->sn);
      }
      Show(unit, why, unit.state == ledger::UnitState::reserved ? "" : unit.path);
      return {};
    });
  }

  // The units whose values the files hold.
  Result<> ByFiles() {
    for (const std::string& given : options_.files) {
      const std::wstring path = AbsolutePath(Wide(given));
      if (const std::optional<std::string> copy = Copy(path)) {
        Say(tool_.err, Severity::error, path, *copy + ": a copy shows no device; give a device's own file");
        outcome_.trouble = true;
        continue;
      }
      Result<StoredFields> fields = ReadFields(tool_.files, path);
      if (!fields) {
        Say(tool_.err, Severity::error, path, Describe(fields.error()));
        outcome_.trouble = true;
        continue;
      }
      const std::string mac = VendorLayout::HexText(fields->mac), sn = ShownText(fields->sn);
      std::optional<ledger::Unit> owner;
      ledger::UnitFilter withMac;
      withMac.values = {mac};
      Result<> found = ledger_.EachUnit(withMac, [&](const ledger::Unit& unit) -> Result<> {
        if (unit.mac == mac && unit.sn == sn) owner = unit;
        return {};
      });
      if (!found) return found;
      if (!owner) {
        // A device programmed from a lease withdrawn since, its station
        // gone: no one else ever gets its values, and the device shows them.
        ledger::Request request{ledger::NewRequestId(),
                                Utf8(path),
                                options_.station.value_or(HostName()),
                                HostName(),
                                IsoTime(Now()),
                                "",
                                "",
                                false,
                                std::nullopt};
        Result<std::optional<ledger::Unit>> withdrawn = ledger_.FromWithdrawn(request, mac, sn);
        if (!withdrawn) return withdrawn.error();
        if (*withdrawn) {
          Show(**withdrawn, std::nullopt, (*withdrawn)->path);
          continue;
        }
        Say(tool_.err, Severity::error, path, "holds MAC " + mac + " and SN " + sn + ", which no unit has");
        outcome_.findings = true;
        continue;
      }
      std::optional<std::string> why;
      std::string evidence;
      if (owner->state == ledger::UnitState::replaced) {
        why = "holds the values of a unit replaced since: its device was given " +
              owner->replacedBy.value_or("") + "'s";
      } else if (owner->state != ledger::UnitState::written) {
        Result<ledger::Recorded> recorded = ledger_.Found(owner->id, Utf8(path));
        if (!recorded) return recorded.error();
        if (*recorded == ledger::Recorded::done) {
          owner->state = ledger::UnitState::written;
          owner->path = Utf8(path);
          owner->restored.reset();
          evidence = owner->path;
        } else {
          why = "another run recorded this unit meanwhile";
        }
      }
      Show(*owner, why, evidence);
    }
    return {};
  }

 private:
  // What a file the tool itself made is, where it is one: a backup or a
  // temporary copy holds what a device held once, wherever that device is now.
  static std::optional<std::string> Copy(const std::wstring& path) {
    const std::wstring name = path.substr(path.find_last_of(L"/\\") + 1);
    if (IsBackupName(name)) return "a backup quorvix-cli made";
    if (IsTemporaryName(name)) return "a temporary file quorvix-cli was writing";
    return std::nullopt;
  }

  static bool Holds(const StoredFields& fields, const std::string& mac, const std::string& sn) {
    return VendorLayout::HexText(fields.mac) == mac && ShownText(fields.sn) == sn;
  }

  Result<> Settle(ledger::Unit& unit, ledger::UnitState state, std::optional<bool> restored,
                  std::optional<std::string>& why) {
    Result<ledger::Recorded> settled = ledger_.Settle(unit.id, state, restored);
    if (!settled) return settled.error();
    if (*settled == ledger::Recorded::already) {
      why = "another run recorded this unit meanwhile";
    } else {
      unit.state = state;
      unit.restored = restored;
    }
    return {};
  }

  // A unit as it stands now; why, where it was left as it was; the file
  // whose values recorded it, where this run recorded it.
  void Show(const ledger::Unit& unit, const std::optional<std::string>& why, const std::string& evidence) {
    if (why) outcome_.findings = true;
    if (options_.json) {
      Json more = Json::object();
      if (why) more["reason"] = *why;
      if (!evidence.empty()) more["evidence"] = evidence;
      return Print(tool_.out, UnitJsonLine(unit, more));
    }
    Print(tool_.out, UnitText(unit) + (why ? "    " + *why + "\n" : "") +
                         (evidence.empty() ? "" : "    evidence: " + evidence + "\n"));
  }

  const ToolContext& tool_;
  const ReconcileOptions& options_;
  ledger::Ledger& ledger_;
  Outcome& outcome_;
};

Outcome RunReconcile(const ToolContext& tool, const ReconcileOptions& options) {
  if (options.station) {
    if (Result<> named = CheckStationName(*options.station); !named)
      return Refuse(tool, options.ledger, named.error());
  }
  return WithLedger(tool, options.ledger, false, [&](ledger::Ledger& opened, Outcome& outcome) {
    Reconciling reconciling(tool, options, opened, outcome);
    return options.files.empty() ? reconciling.ByStation() : reconciling.ByFiles();
  });
}

void DeclareReconcile(CLI::App& reconcile, Work& work) {
  auto options = std::make_shared<ReconcileOptions>();
  AddLedgerArgument(reconcile, options->ledger, true);
  reconcile.add_option("FILE", options->files,
                       "Vendor files: each settles the unit whose MAC and SN it holds");
  reconcile.add_option("--station", options->station, "The station whose units to settle (the host name)")
      ->type_name("NAME");
  reconcile.add_flag("--json", options->json, "One JSON object per unit and line (JSON Lines)");
  RunsWith(reconcile, work, options, RunReconcile);
}

}  // namespace

const Command kLedgerReconcile{
    "reconcile",
    "Settle reserved units: this station's by the files at their paths, or any by the FILEs given",
    DeclareReconcile};
