// set: writes a new MAC, SN or both, with their checks, into one file; can
// back the file up first and log the call.
#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/command.h"
#include "cli/messages.h"
#include "cli/reading.h"
#include "files/utf8.h"
#include "vendor/backup.h"
#include "vendor/entry.h"

namespace {

using Json = nlohmann::ordered_json;
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

std::string IsoTimeNow() {
  const std::time_t now = std::time(nullptr);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  return text;
}

// What changes, as lines for people: old value, new value, the check bytes written.
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

struct SetOptions {
  std::string path;
  std::optional<std::string> mac, sn, log;
  bool dryRun = false, backup = false, strict = false;
};

// One set call: what the file held, what it is to hold, and its log line.
class SetCall {
 public:
  SetCall(const ToolContext& tool, const SetOptions& options)
      : tool_(tool), options_(options), path_(Wide(options.path)) {}

  Outcome Run() {
    if (!options_.mac && !options_.sn) return Refused("give --mac, --sn or both");
    Result<StoredFields> before = ReadFields(tool_.files, path_);
    if (!before) return Refused(Describe(before.error()));
    macBefore_ = macAfter_ = HexText(before->mac);
    snBefore_ = snAfter_ = ShownText(before->sn);

    EditState edits{path_, {}, {}};
    if (options_.mac) {
      edits.NewMAC = EnterMac(Wide(*options_.mac)).edit;
      if (!edits.NewMAC)
        return Refused("the MAC must be 12 hexadecimal digits (colons and spaces are ignored)");
      if (std::optional<std::string> doubt = MacDoubt(edits.NewMAC->mac())) {
        if (options_.strict) return Refused("the MAC is " + *doubt + "; refused with --strict");
        Say(tool_.err, Severity::warning, path_, "the MAC is " + *doubt);
      }
    }
    if (options_.sn) {
      edits.NewSN = EnterSn(Wide(*options_.sn)).edit;
      if (!edits.NewSN) return Refused("the SN must be 13 letters or digits (colons and spaces are ignored)");
    }
    // Both values passed: from here on the file is to hold them.
    if (edits.NewMAC) macAfter_ = HexText(edits.NewMAC->mac());
    if (edits.NewSN) snAfter_ = ShownText(edits.NewSN->sn());
    const std::string changes = Changes(*before, edits);

    if (options_.dryRun) {
      Print(tool_.out, Utf8(path_) + ": dry run, nothing written\n" + changes);
      return Finish("dry-run", {}, {});
    }
    if (options_.backup) {
      Result<std::wstring> backup = Backup(tool_.files, path_);
      if (!backup)
        return Failed("no backup could be made: " + Describe(backup.error()) + "; nothing was written");
      backup_ = Utf8(*backup);
    }
    const WriteReport report = WriteEdits(tool_.files, edits);
    if (report.written) {
      Print(tool_.out, Utf8(path_) + ": written and verified\n" + changes +
                           (backup_.empty() ? "" : "  backup " + backup_ + "\n"));
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

 private:
  Outcome Refused(const std::string& why) { return Finish("refused", Outcome{.trouble = true}, why); }

  // The file holds what it held, unless the restore said otherwise.
  Outcome Failed(const std::string& why) {
    if (!restored_.has_value() || *restored_) {
      macAfter_ = macBefore_;
      snAfter_ = snBefore_;
    }
    return Finish("failed", Outcome{.findings = true}, why);
  }

  Outcome Finish(const char* result, Outcome outcome, const std::string& error) {
    if (!error.empty()) Say(tool_.err, Severity::error, path_, error);
    if (!options_.log) return outcome;
    auto orNull = [](const std::optional<std::string>& value) {
      return value ? Json(*value) : Json(nullptr);
    };
    Json line;
    line["time"] = IsoTimeNow();
    line["path"] = Utf8(path_);
    line["mac_before"] = orNull(macBefore_);
    line["mac_after"] = orNull(macAfter_);
    line["sn_before"] = orNull(snBefore_);
    line["sn_after"] = orNull(snAfter_);
    line["result"] = result;
    if (restored_) line["restored"] = *restored_;
    if (!backup_.empty()) line["backup"] = backup_;
    if (!error.empty()) line["error"] = error;
    const std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
    if (Result<> logged = tool_.files.Append(Wide(*options_.log), text); !logged) {
      Say(tool_.err, Severity::error, Wide(*options_.log),
          "the log line could not be written: " + Describe(logged.error()));
      outcome.findings = true;
    }
    return outcome;
  }

  const ToolContext& tool_;
  const SetOptions& options_;
  const std::wstring path_;
  std::optional<std::string> macBefore_, macAfter_, snBefore_, snAfter_;
  std::optional<bool> restored_;  // set once writing began and failed
  std::string backup_;
};

class Set final : public Command {
 public:
  explicit Set(CLI::App& app)
      : Command(app.add_subcommand("set", "Write a new MAC and/or SN, with their checks, into one file")) {
    command_->add_option("FILE", options_.path, "The vendor file")->required();
    command_->add_option("--mac", options_.mac, "12 hex digits; colons and spaces are ignored");
    command_->add_option("--sn", options_.sn, "13 letters or digits; colons and spaces are ignored");
    command_->add_flag("--dry-run", options_.dryRun,
                       "Check the values and print what would change; write nothing");
    command_->add_flag("--backup", options_.backup,
                       "First copy the file to FILE.bak (or .bak.1, .bak.2, ...)");
    command_->add_option("--log", options_.log, "Append one JSON line about this call")->type_name("LOGFILE");
    command_->add_flag("--strict", options_.strict,
                       "Refuse a multicast, all-zero or all-FF MAC instead of warning");
  }

  Outcome Run(const ToolContext& tool) override { return SetCall(tool, options_).Run(); }

 private:
  SetOptions options_;
};

}  // namespace

std::unique_ptr<Command> AddSet(CLI::App& app) { return std::make_unique<Set>(app); }
