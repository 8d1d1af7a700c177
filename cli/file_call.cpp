#include "cli/file_call.h"

#include "cli/messages.h"
#include "cli/reading.h"
#include "files/clock.h"
#include "files/utf8.h"
#include "vendor/backup.h"

using namespace VendorLayout;

std::string_view Name(CallResult result) {
  switch (result) {
    case CallResult::written:
      return "written";
    case CallResult::dryRun:
      return "dry-run";
    case CallResult::refused:
      return "refused";
    case CallResult::retry:
      return "retry";
    case CallResult::failed:
      return "failed";
  }
  return "failed";
}

void CallRecord::Before(const StoredFields& fields) {
  macBefore = macAfter = HexText(fields.mac);
  snBefore = snAfter = ShownText(fields.sn);
}

void CallRecord::Planned(const EditState& edits) {
  if (edits.NewMAC) macAfter = HexText(edits.NewMAC->mac());
  if (edits.NewSN) snAfter = ShownText(edits.NewSN->sn());
}

void CallRecord::Stop(CallResult why, const std::string& what) {
  result = why;
  error = what;
  macAfter = macBefore;
  snAfter = snBefore;
}

void CallRecord::Fail(const std::string& what) {
  result = CallResult::failed;
  error = what;
  if (restored == false) {
    macAfter.reset();  // nobody knows
    snAfter.reset();
  } else {
    macAfter = macBefore;
    snAfter = snBefore;
  }
}

Result<> BackUpHeld(const ToolContext& tool, ByteFile& file, CallRecord& record) {
  Result<std::wstring> made = Backup(tool.files, file, record.path);
  if (!made) return made.error();
  record.backup = Utf8(*made);
  return {};
}

void WriteHeld(const ToolContext& tool, ByteFile& file, const EditState& edits, bool backup,
               CallRecord& record) {
  if (backup) {
    if (Result<> made = BackUpHeld(tool, file, record); !made)
      return record.Fail("no backup could be made: " + Describe(made.error()) + "; nothing was written");
  }
  const WriteReport report = WriteEdits(file, edits);
  if (report.written) {
    record.result = CallResult::written;
    return;
  }
  const std::string why = Describe(report.written.error());
  switch (report.restore) {
    case Restore::notNeeded:
      return record.Fail(why + "; nothing was written");
    case Restore::done:
      record.restored = true;
      return record.Fail(why + "; the fields were put back as they were");
    case Restore::failed:
      record.restored = false;
      return record.Fail(why + "; the old fields could not be put back: check the file");
  }
}

Outcome Finish(const ToolContext& tool, const CallRecord& record, const std::optional<std::string>& log) {
  Outcome outcome;
  switch (record.result) {
    case CallResult::written:
    case CallResult::dryRun:
      break;
    case CallResult::refused:
      outcome.trouble = true;
      break;
    case CallResult::retry:
      outcome.retry = true;
      break;
    case CallResult::failed:
      outcome.findings = true;
      break;
  }
  if (!record.error.empty()) Say(tool.err, Severity::error, record.path, record.error);
  if (!log) return outcome;
  Json line;
  line["time"] = IsoTime(Now());
  line["path"] = Utf8(record.path);
  line["mac_before"] = OrNull(record.macBefore);
  line["mac_after"] = OrNull(record.macAfter);
  line["sn_before"] = OrNull(record.snBefore);
  line["sn_after"] = OrNull(record.snAfter);
  line["result"] = Name(record.result);
  if (record.restored) line["restored"] = *record.restored;
  if (!record.backup.empty()) line["backup"] = record.backup;
  if (!record.error.empty()) line["error"] = record.error;
  if (Result<> logged = tool.files.Append(Wide(*log), JsonLine(line)); !logged) {
    Say(tool.err, Severity::error, Wide(*log),
        "the log line could not be written: " + Describe(logged.error()));
    outcome.findings = true;
  }
  return outcome;
}

std::string Changes(const StoredFields& before, const EditState& edits) {
  std::string text;
  if (edits.NewMAC) {
    const std::uint8_t check = edits.NewMAC->check();
    text += "  MAC " + HexText(before.mac) + " -> " + HexText(edits.NewMAC->mac()) + "   check " +
            HexText(std::span(&check, 1)) + "\n";
  }
  if (edits.NewSN) {
    const std::string written = ShownText(edits.NewSN->check()), sum = edits.NewSN->sum();
    text += "  SN  " + ShownText(before.sn) + " -> " + ShownText(edits.NewSN->sn()) + "  check " + written +
            (written != sum ? " (of the sum " + sum + ")" : "") + "\n";
  }
  return text;
}

std::string WrittenText(const CallRecord& record, const std::string& changes) {
  return Utf8(record.path) + ": written and verified\n" + changes +
         (record.backup.empty() ? "" : "  backup " + record.backup + "\n");
}
