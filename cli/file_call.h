#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/exit_codes.h"
#include "cli/json.h"
#include "cli/tool.h"
#include "vendor/vendor_file.h"

// One call that writes new fields into one vendor file, for set and assign:
// what the file held and holds afterwards, the backup, the write, and how
// the call ends: its message, its outcome and its line in the log.

enum class CallResult {
  written,  // written and verified
  dryRun,   // checked, nothing written
  refused,  // nothing written: a rule said no (exit 2)
  retry,    // nothing written: the ledger was out of reach or busy (exit 3)
  failed,   // the write failed; restored says whether the old fields are back (exit 1)
};
std::string_view Name(CallResult result);

struct CallRecord {
  explicit CallRecord(std::wstring file) : path(std::move(file)) {}

  std::wstring path;
  std::optional<std::string> macBefore, macAfter, snBefore, snAfter;  // nothing where unknown
  CallResult result = CallResult::refused;
  std::optional<bool> restored;  // once writing began and failed
  std::string backup, error;

  // The fields as read; the file holds them until it is written.
  void Before(const StoredFields& fields);
  // The fields the file is to hold.
  void Planned(const EditState& edits);
  // Ends with nothing written: refused or, for the ledger's sake, retry.
  void Stop(CallResult why, const std::string& what);
  // Ends with the write failed: the file holds what it held, unless the
  // restore said otherwise.
  void Fail(const std::string& what);
};

// Copies the file, held open for update, beside it (FILE.bak, ...), and
// names the copy in the record.
Result<> BackUpHeld(const ToolContext& tool, ByteFile& file, CallRecord& record);

// Backs the file up when asked, then writes the edits into file, held open
// for update since the fields were read; the record says how it went.
void WriteHeld(const ToolContext& tool, ByteFile& file, const EditState& edits, bool backup,
               CallRecord& record);

// Ends the call: says its error on standard error, appends its line to the
// log when one is named; the outcome its result gives.
Outcome Finish(const ToolContext& tool, const CallRecord& record, const std::optional<std::string>& log);

// What changes, as lines for people: old value, new value, the check bytes written.
std::string Changes(const StoredFields& before, const EditState& edits);
// What a written call says on standard output: the file, its changes, the backup.
std::string WrittenText(const CallRecord& record, const std::string& changes);
