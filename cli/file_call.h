#pragma once

#include <optional>
#include <string>

#include "cli/exit_codes.h"
#include "cli/tool.h"
#include "vendor/vendor_file.h"

// One call that writes new fields into one file, for set and assign: what
// the file held and holds afterwards, the backup, the write, what is said
// about it, and its line in the log.
class FileCall {
 public:
  FileCall(const ToolContext& tool, std::wstring path, bool backup, std::optional<std::string> log);

  const std::wstring& path() const { return path_; }
  // Leaves standard output to the caller, who prints JSON instead.
  void Quiet() { quiet_ = true; }
  const std::string& result() const { return result_; }
  std::optional<bool> restored() const { return restored_; }

  // The fields as read, and the new ones the file is to hold.
  void Before(const StoredFields& fields);
  void Planned(const EditState& edits);

  // Backs the file up when asked, writes the edits into file, held open for
  // update since the fields were read, and says how that went.
  Outcome Write(ByteFile& file, const EditState& edits, const std::string& changes);

  // Ends the call with nothing written: refused (exit 2), or failed (exit 1).
  Outcome Refused(const std::string& why);
  Outcome Failed(const std::string& why);
  // Ends the call: says why when there is an error, and logs the call.
  Outcome Finish(const char* result, Outcome outcome, const std::string& error);

 private:
  const ToolContext& tool_;
  const std::wstring path_;
  const bool backup_;
  const std::optional<std::string> log_;
  std::optional<std::string> macBefore_, macAfter_, snBefore_, snAfter_;
  std::optional<bool> restored_;  // set once writing began and failed
  std::string backupPath_, result_;
  bool quiet_ = false;
};

// The time now, UTC, as ISO 8601 to the second.
std::string IsoTimeNow();

// What changes, as lines for people: old value, new value, the check bytes written.
std::string Changes(const StoredFields& before, const EditState& edits);
