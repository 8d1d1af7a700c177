#include "cli/file_call.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "cli/messages.h"
#include "cli/reading.h"
#include "files/utf8.h"
#include "vendor/backup.h"

using Json = nlohmann::ordered_json;
using namespace VendorLayout;

FileCall::FileCall(const ToolContext& tool, std::wstring path, bool backup, std::optional<std::string> log)
    : tool_(tool), path_(std::move(path)), backup_(backup), log_(std::move(log)) {}

void FileCall::Before(const StoredFields& fields) {
  macBefore_ = macAfter_ = HexText(fields.mac);
  snBefore_ = snAfter_ = ShownText(fields.sn);
}

void FileCall::Planned(const EditState& edits) {
  if (edits.NewMAC) macAfter_ = HexText(edits.NewMAC->mac());
  if (edits.NewSN) snAfter_ = ShownText(edits.NewSN->sn());
}

Outcome FileCall::Write(ByteFile& file, const EditState& edits, const std::string& changes) {
  if (backup_) {
    Result<std::wstring> backup = Backup(tool_.files, path_);
    if (!backup)
      return Failed("no backup could be made: " + Describe(backup.error()) + "; nothing was written");
    backupPath_ = Utf8(*backup);
  }
  const WriteReport report = WriteEdits(file, edits);
  if (report.written) {
    if (!quiet_)
      Print(tool_.out, Utf8(path_) + ": written and verified\n" + changes +
                           (backupPath_.empty() ? "" : "  backup " + backupPath_ + "\n"));
    return Finish("written", {}, {});
  }
  const std::string why = Describe(report.written.error());
  switch (report.restore) {
    case Restore::notNeeded:
      break;
    case Restore::done:
      restored_ = true;
      return Failed(why + "; the fields were put back as they were");
    case Restore::failed:
      restored_ = false;
      macAfter_.reset();  // nobody knows
      snAfter_.reset();
      return Failed(why + "; the old fields could not be put back: check the file");
  }
  return Failed(why + "; nothing was written");
}

Outcome FileCall::Refused(const std::string& why) { return Finish("refused", Outcome{.trouble = true}, why); }

// The file holds what it held, unless the restore said otherwise.
Outcome FileCall::Failed(const std::string& why) {
  if (!restored_.has_value() || *restored_) {
    macAfter_ = macBefore_;
    snAfter_ = snBefore_;
  }
  return Finish("failed", Outcome{.findings = true}, why);
}

Outcome FileCall::Finish(const char* result, Outcome outcome, const std::string& error) {
  result_ = result;
  if (!error.empty()) Say(tool_.err, Severity::error, path_, error);
  if (!log_) return outcome;
  auto orNull = [](const std::optional<std::string>& value) { return value ? Json(*value) : Json(nullptr); };
  Json line;
  line["time"] = IsoTimeNow();
  line["path"] = Utf8(path_);
  line["mac_before"] = orNull(macBefore_);
  line["mac_after"] = orNull(macAfter_);
  line["sn_before"] = orNull(snBefore_);
  line["sn_after"] = orNull(snAfter_);
  line["result"] = result;
  if (restored_) line["restored"] = *restored_;
  if (!backupPath_.empty()) line["backup"] = backupPath_;
  if (!error.empty()) line["error"] = error;
  const std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
  if (Result<> logged = tool_.files.Append(Wide(*log_), text); !logged) {
    Say(tool_.err, Severity::error, Wide(*log_),
        "the log line could not be written: " + Describe(logged.error()));
    outcome.findings = true;
  }
  return outcome;
}

std::string IsoTimeNow() {
  const std::time_t now = std::time(nullptr);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  return text;
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
