// assign: gives one file the next MAC and SN from a ledger. The file is
// opened for update and held first, so one that is no vendor file or cannot
// be written costs no values; the values are reserved in one durable
// transaction before the file changes, and the write's end is recorded after.
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/file_call.h"
#include "cli/messages.h"
#include "cli/reading.h"
#include "files/host.h"
#include "files/utf8.h"
#include "ledger/ledger.h"
#include "vendor/entry.h"

namespace {

using Json = nlohmann::ordered_json;

// The unit's values as the edits that write them.
EditState EditsOf(const std::wstring& path, const Unit& unit) {
  EditState edits{path, {}, {}};
  edits.NewMAC = EnterMac(Wide(unit.mac)).edit;
  edits.NewSN = EnterSn(Wide(unit.sn)).edit;
  return edits;
}

Json UnitJson(const Unit& unit) {
  Json json;
  json["mac"] = unit.mac;
  json["sn"] = unit.sn;
  json["path"] = unit.path;
  json["station"] = unit.station;
  json["host"] = unit.host;
  json["time"] = unit.time;
  json["state"] = unit.state;
  json["mac_before"] = unit.macBefore;
  json["sn_before"] = unit.snBefore;
  if (unit.restored) json["restored"] = *unit.restored;
  return json;
}

}  // namespace

Outcome RunAssign(const ToolContext& tool, const AssignOptions& options) {
  FileCall call(tool, AbsolutePath(Wide(options.path)), options.backup, options.log);
  if (options.json) call.Quiet();
  Result<std::unique_ptr<ByteFile>> file = tool.files.Open(call.path(), Access::update);
  if (!file) return call.Refused(Describe(file.error()) + "; nothing was reserved");
  Result<StoredFields> before = ReadFields(**file);
  if (!before) return call.Refused(Describe(before.error()) + "; nothing was reserved");
  call.Before(*before);

  Result<std::unique_ptr<Ledger>> ledger = OpenLedger(options.ledger, false);
  if (!ledger) return call.Refused(Describe(ledger.error()) + "; nothing was reserved");
  const std::string host = HostName();
  Request request{Utf8(call.path()), options.station.value_or(host),     host,
                  IsoTimeNow(),      VendorLayout::HexText(before->mac), ShownText(before->sn),
                  options.reassign};
  Result<Unit> unit = (*ledger)->Reserve(request);
  if (!unit) return call.Refused(Describe(unit.error()) + "; nothing was reserved");

  const EditState edits = EditsOf(call.path(), *unit);
  call.Planned(edits);
  Outcome outcome = call.Write(**file, edits, Changes(*before, edits));
  unit->state = call.result() == "written" ? "written" : "failed";
  unit->restored = call.restored();
  if (Result<> settled = (*ledger)->Settle(unit->id, unit->state, unit->restored); !settled) {
    Say(tool.err, Severity::error, call.path(),
        "the ledger could not record that the write " +
            std::string(unit->state == "written" ? "succeeded" : "failed") + ": " +
            Describe(settled.error()) + "; the unit stays reserved for ledger reconcile");
    unit->state = "reserved";
    outcome.findings = true;
  }
  if (options.json) {
    Json json = UnitJson(*unit);
    json["result"] = call.result();
    Print(tool.out, json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n");
  }
  return outcome;
}
