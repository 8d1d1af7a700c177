// set: writes a new MAC, SN or both, with their checks, into one file; can
// back the file up first and log the call.
#include <algorithm>
#include <optional>

#include "cli/commands.h"
#include "cli/file_call.h"
#include "cli/messages.h"
#include "files/utf8.h"
#include "vendor/entry.h"

namespace {

using namespace VendorLayout;

// Why a MAC that is well formed may still be a mistake.
std::optional<std::string> MacDoubt(const MacBytes& mac) {
  if (std::all_of(mac.begin(), mac.end(), [](std::uint8_t byte) { return byte == 0x00; })) return "all zeros";
  if (std::all_of(mac.begin(), mac.end(), [](std::uint8_t byte) { return byte == 0xFF; })) {
    return "the broadcast address";
  }
  if (mac[0] & 1) return "a multicast address";
  return std::nullopt;
}

// One set call: the values checked, then written as FileCall writes.
}  // namespace

Outcome RunSet(const ToolContext& tool, const SetOptions& options) {
  FileCall call(tool, Wide(options.path), options.backup, options.log);
  if (!options.mac && !options.sn) return call.Refused("give --mac, --sn or both");
  Result<StoredFields> before = ReadFields(tool.files, call.path());
  if (!before) return call.Refused(Describe(before.error()));
  call.Before(*before);

  EditState edits{call.path(), {}, {}};
  if (options.mac) {
    edits.NewMAC = EnterMac(Wide(*options.mac)).edit;
    if (!edits.NewMAC)
      return call.Refused("the MAC must be 12 hexadecimal digits (colons and spaces are ignored)");
    if (std::optional<std::string> doubt = MacDoubt(edits.NewMAC->mac())) {
      if (options.strict) return call.Refused("the MAC is " + *doubt + "; refused with --strict");
      Say(tool.err, Severity::warning, call.path(), "the MAC is " + *doubt);
    }
  }
  if (options.sn) {
    edits.NewSN = EnterSn(Wide(*options.sn)).edit;
    if (!edits.NewSN)
      return call.Refused("the SN must be 13 letters or digits (colons and spaces are ignored)");
  }
  // Both values passed: from here on the file is to hold them.
  call.Planned(edits);
  const std::string changes = Changes(*before, edits);
  if (options.dryRun) {
    Print(tool.out, Utf8(call.path()) + ": dry run, nothing written\n" + changes);
    return call.Finish("dry-run", {}, {});
  }
  Result<std::unique_ptr<ByteFile>> file = tool.files.Open(call.path(), Access::update);
  if (!file) return call.Failed(Describe(file.error()) + "; nothing was written");
  return call.Write(**file, edits, changes);
}
