// set: writes a new MAC, SN or both, with their checks, into one file; can
// back the file up first and log the call. The file is opened once, for
// update, and held: its fields are read, its backup copied and its update
// written through that one handle.
#include <optional>

#include "cli/commands.h"
#include "cli/file_call.h"
#include "cli/messages.h"
#include "files/utf8.h"
#include "vendor/entry.h"

namespace {

struct SetOptions {
  std::string path;
  std::optional<std::string> mac, sn, log;
  bool dryRun = false, backup = false, strict = false;
};

std::string DoubtText(VendorLayout::MacDoubt doubt) {
  switch (doubt) {
    case VendorLayout::MacDoubt::allZero:
      return "all zeros";
    case VendorLayout::MacDoubt::broadcast:
      return "the broadcast address";
    case VendorLayout::MacDoubt::multicast:
      return "a multicast address";
  }
  return "doubtful";
}

// The values typed as the edits that write them; or why they are refused.
Result<EditState> Edits(const ToolContext& tool, const SetOptions& options, const std::wstring& path) {
  EditState edits{path, {}, {}};
  if (options.mac) {
    edits.NewMAC = EnterMac(Wide(*options.mac)).edit;
    if (!edits.NewMAC)
      return Refusal(L"the MAC must be 12 hexadecimal digits (colons and spaces are ignored)");
    if (std::optional<VendorLayout::MacDoubt> doubt = VendorLayout::DoubtAbout(edits.NewMAC->mac())) {
      if (options.strict) return Refusal(Wide("the MAC is " + DoubtText(*doubt) + "; refused with --strict"));
      Say(tool.err, Severity::warning, path, "the MAC is " + DoubtText(*doubt));
    }
  }
  if (options.sn) {
    edits.NewSN = EnterSn(Wide(*options.sn)).edit;
    if (!edits.NewSN) return Refusal(L"the SN must be 13 letters or digits (colons and spaces are ignored)");
  }
  return edits;
}

Outcome RunSet(const ToolContext& tool, const SetOptions& options) {
  CallRecord call(Wide(options.path));
  const auto finish = [&] { return Finish(tool, call, options.log); };
  if (!options.mac && !options.sn) {
    call.Stop(CallResult::refused, "give --mac, --sn or both");
    return finish();
  }
  Result<std::unique_ptr<ByteFile>> file =
      tool.files.Open(call.path, options.dryRun ? Access::read : Access::update);
  // A file that cannot be held for writing is read all the same, to tell
  // one that is no vendor file, or a refused value, from one the system
  // keeps from being written.
  Result<StoredFields> before = file ? ReadFields(**file) : ReadFields(tool.files, call.path);
  if (!before) {
    call.Stop(CallResult::refused, Describe(before.error()));
    return finish();
  }
  call.Before(*before);
  Result<EditState> edits = Edits(tool, options, call.path);
  if (!edits) {
    call.Stop(CallResult::refused, Describe(edits.error()));
    return finish();
  }
  if (!file) {
    call.Fail(Describe(file.error()) + "; nothing was written");
    return finish();
  }
  // Both values passed: from here on the file is to hold them.
  call.Planned(*edits);
  const std::string changes = Changes(*before, *edits);
  if (options.dryRun) {
    Print(tool.out, Utf8(call.path) + ": dry run, nothing written\n" + changes);
    call.result = CallResult::dryRun;
    return finish();
  }
  WriteHeld(tool, **file, *edits, options.backup, call);
  if (call.result == CallResult::written) Print(tool.out, WrittenText(call, changes));
  return finish();
}

void DeclareSet(CLI::App& set, Work& work) {
  auto options = std::make_shared<SetOptions>();
  set.add_option("FILE", options->path, "The vendor file")->required();
  set.add_option("--mac", options->mac, "12 hex digits; colons and spaces are ignored");
  set.add_option("--sn", options->sn, "13 letters or digits; colons and spaces are ignored");
  set.add_flag("--dry-run", options->dryRun, "Check the values and print what would change; write nothing");
  set.add_flag("--backup", options->backup, "First copy the file to FILE.bak (or .bak.1, .bak.2, ...)");
  set.add_option("--log", options->log, "Append one JSON line about this call")->type_name("LOGFILE");
  set.add_flag("--strict", options->strict, "Refuse a multicast, all-zero or all-FF MAC instead of warning");
  RunsWith(set, work, options, RunSet);
}

}  // namespace

const Command kSet{"set", "Write a new MAC and/or SN, with their checks, into one file", DeclareSet};
