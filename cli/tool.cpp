#include "cli/tool.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <algorithm>
#include <ctime>
#include <optional>
#include <sstream>

#include "app/version.h"
#include "cli/reading.h"
#include "files/utf8.h"
#include "vendor/entry.h"

namespace {

using Json = nlohmann::ordered_json;

void Print(std::FILE* stream, const std::string& text) { std::fwrite(text.data(), 1, text.size(), stream); }

std::string Line(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

void Complain(const ToolContext& tool, const std::wstring& path, const std::string& what) {
  Print(tool.err, "quorvix-cli: " + (path.empty() ? std::string() : Utf8(path) + ": ") + what + "\n");
}

// show and check read alike; check's exit code also judges the checks.
int Read(const ToolContext& tool, const std::vector<std::string>& paths, bool json, bool judge) {
  bool unreadable = false, stale = false;
  for (const std::string& path : paths) {
    const std::wstring wide = Wide(path);
    const Reading reading{wide, ReadFields(tool.files, wide)};
    if (!reading.fields) {
      unreadable = true;
      Complain(tool, reading.path, Describe(reading.fields.error()));
    } else if (!Consistent(*reading.fields)) {
      stale = true;
    }
    Print(tool.out, json ? ReadingJson(reading) : ReadingText(reading));
  }
  if (unreadable) return kExitTrouble;
  return judge && stale ? kExitFindings : kExitOk;
}

struct SetOptions {
  std::string path, mac, sn, log;
  bool withMac = false, withSn = false, dryRun = false, backup = false, strict = false, withLog = false;
};

// Why a MAC that is well formed may still be a mistake.
std::optional<std::string> MacDoubt(const VendorLayout::MacBytes& mac) {
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

// Copies the whole file to FILE.bak, or FILE.bak.1, .2, ... when that is
// taken, flushed; never over a backup. Gives the backup's path.
Result<std::wstring> Backup(const ToolContext& tool, const std::wstring& path) {
  Result<std::unique_ptr<ByteFile>> file = tool.files.Open(path, Access::read);
  if (!file) return file.error();
  Result<std::uint64_t> size = (*file)->Size();
  if (!size) return size.error();
  if (*size != VendorLayout::kFileSize) return Failure(Failure::Cause::notVendorFile);
  std::vector<std::uint8_t> bytes(*size);
  if (Result<> read = (*file)->Read(0, bytes); !read) return read.error();

  for (int number = 0;; ++number) {
    const std::wstring name = path + L".bak" + (number == 0 ? L"" : L"." + std::to_wstring(number));
    Result<std::unique_ptr<ByteFile>> made = tool.system.Create(name);
    if (!made && made.error().cause == Failure::Cause::exists) continue;
    if (!made) return made.error();
    if (Result<> written = (*made)->Write(0, bytes); !written) return written.error();
    if (Result<> flushed = (*made)->Flush(); !flushed) return flushed.error();
    return name;
  }
}

// One set call: what the file held, what it is to hold, and its log line.
class SetCall {
 public:
  SetCall(const ToolContext& tool, const SetOptions& options)
      : tool_(tool), options_(options), path_(Wide(options.path)) {}

  int Run() {
    if (!options_.withMac && !options_.withSn)
      return Finish("refused", kExitTrouble, "give --mac, --sn or both");
    Result<StoredFields> before = ReadFields(tool_.files, path_);
    if (!before) return Finish("refused", kExitTrouble, Describe(before.error()));
    macBefore_ = MacText(before->mac);
    snBefore_ = ShownText(before->sn);
    macAfter_ = macBefore_;
    snAfter_ = snBefore_;

    EditState edits{path_, {}, {}, {}};
    if (options_.withMac) {
      const Cleaned mac = CleanMac(Wide(options_.mac));
      if (mac.verdict != Verdict::accepted) {
        return Finish("refused", kExitTrouble,
                      "the MAC must be 12 hexadecimal digits (colons and spaces are ignored)");
      }
      PendMac(edits, mac.value);
      if (std::optional<std::string> doubt = MacDoubt(*VendorLayout::MacBytesOf(mac.value))) {
        if (options_.strict)
          return Finish("refused", kExitTrouble, "the MAC is " + *doubt + "; refused with --strict");
        Complain(tool_, path_, "warning: the MAC is " + *doubt);
      }
    }
    if (options_.withSn) {
      const Cleaned sn = CleanSn(Wide(options_.sn));
      if (sn.verdict != Verdict::accepted) {
        return Finish("refused", kExitTrouble,
                      "the SN must be 13 letters or digits (colons and spaces are ignored)");
      }
      PendSn(edits, sn.value);
    }
    // Both values passed: from here on the file is to hold them.
    if (edits.MacPending()) macAfter_ = Utf8(edits.NewMAC.substr(0, 12));
    if (edits.SnPending()) snAfter_ = Utf8(edits.NewSN);
    const std::string changes = Changes(*before, edits);

    if (options_.dryRun) {
      Print(tool_.out, Utf8(path_) + ": dry run, nothing written\n" + changes);
      return Finish("dry-run", kExitOk, {});
    }
    if (options_.backup) {
      Result<std::wstring> backup = Backup(tool_, path_);
      if (!backup)
        return Failed("no backup could be made: " + Describe(backup.error()) + "; nothing was written");
      backup_ = Utf8(*backup);
    }
    const WriteReport report = WriteEdits(tool_.files, edits);
    if (report.written) {
      Print(tool_.out, Utf8(path_) + ": written and verified\n" + changes +
                           (backup_.empty() ? "" : "  backup " + backup_ + "\n"));
      return Finish("written", kExitOk, {});
    }
    const std::string why = Describe(report.written.error());
    switch (report.restore) {
      case Restore::notNeeded:
        return Failed(why + "; nothing was written");
      case Restore::done:
        restored_ = true;
        return Failed(why + "; the fields were put back as they were");
      case Restore::failed:
        restored_ = false;
        macAfter_.reset();  // nobody knows
        snAfter_.reset();
        return Failed(why + "; the old fields could not be put back: check the file");
    }
    return Failed(why);
  }

 private:
  // What changes, as lines for people: old value, new value, the check bytes written.
  static std::string Changes(const StoredFields& before, const EditState& edits) {
    std::string text;
    if (edits.MacPending()) {
      text += "  MAC " + MacText(before.mac) + " -> " + Utf8(edits.NewMAC.substr(0, 12)) + "   check " +
              Utf8(edits.NewMAC.substr(12)) + "\n";
    }
    if (edits.SnPending()) {
      const std::wstring written = edits.NewSNChk.substr(0, VendorLayout::kSnChkLength);
      text += "  SN  " + ShownText(before.sn) + " -> " + Utf8(edits.NewSN) + "  check " + Utf8(written) +
              (written != edits.NewSNChk ? " (of the sum " + Utf8(edits.NewSNChk) + ")" : "") + "\n";
    }
    return text;
  }

  // The file holds what it held, unless the restore said otherwise.
  int Failed(const std::string& why) {
    if (!restored_.has_value() || *restored_) {
      macAfter_ = macBefore_;
      snAfter_ = snBefore_;
    }
    return Finish("failed", kExitFindings, why);
  }

  int Finish(const char* result, int exitCode, const std::string& error) {
    if (!error.empty()) Complain(tool_, path_, error);
    if (!options_.withLog) return exitCode;
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
    if (Result<> logged = tool_.system.Append(Wide(options_.log), Line(line)); !logged) {
      Complain(tool_, Wide(options_.log), "the log line could not be written: " + Describe(logged.error()));
      return std::max(exitCode, static_cast<int>(kExitFindings));
    }
    return exitCode;
  }

  const ToolContext& tool_;
  const SetOptions& options_;
  const std::wstring path_;
  std::optional<std::string> macBefore_, macAfter_, snBefore_, snAfter_;
  std::optional<bool> restored_;  // set once writing began and failed
  std::string backup_;
};

constexpr char kFooter[] = R"(
Exit codes:
  0  show: every file read; check: every file consistent; set: written and
     verified, or a clean dry run
  1  check: a read file's stored checks do not match its fields;
     set: the write failed (the message says whether the file was restored)
  2  a usage error, a refused value, or a file that could not be read or is
     not a vendor file (set writes not one byte then); wins over 1)";

}  // namespace

int RunTool(const std::vector<std::string>& args, const ToolContext& tool) {
  CLI::App app{
      "Reads and writes the MAC address and serial number (SN) of device vendor files\n"
      "(vendor.bin, exactly 65,536 bytes), with the check values the devices expect.",
      "quorvix-cli"};
  app.set_version_flag("--version", std::string("quorvix-cli ") + QUORVIX_VERSION_SHORT);
  app.require_subcommand(1, 1);
  app.footer(kFooter);

  bool json = false;
  std::vector<std::string> paths;
  CLI::App* show = app.add_subcommand("show", "Print each file's MAC, SN and their stored checks");
  CLI::App* check =
      app.add_subcommand("check", "The same reading; the exit code says whether the checks match");
  for (CLI::App* reading : {show, check}) {
    reading->add_flag("--json", json, "One JSON object per file and line (JSON Lines)");
    reading->add_option("FILE", paths, "Vendor files")->required();
  }

  SetOptions options;
  CLI::App* set = app.add_subcommand("set", "Write a new MAC and/or SN, with their checks, into one file");
  set->add_option("FILE", options.path, "The vendor file")->required();
  CLI::Option* mac = set->add_option("--mac", options.mac, "12 hex digits; colons and spaces are ignored");
  CLI::Option* sn =
      set->add_option("--sn", options.sn, "13 letters or digits; colons and spaces are ignored");
  set->add_flag("--dry-run", options.dryRun, "Check the values and print what would change; write nothing");
  set->add_flag("--backup", options.backup, "First copy the file to FILE.bak (or .bak.1, .bak.2, ...)");
  CLI::Option* log =
      set->add_option("--log", options.log, "Append one JSON line about this call")->type_name("LOGFILE");
  set->add_flag("--strict", options.strict, "Refuse a multicast, all-zero or all-FF MAC instead of warning");

  std::vector<char*> argv;
  std::vector<std::string> owned = args;
  for (std::string& arg : owned) argv.push_back(arg.data());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& error) {
    std::ostringstream out, err;
    const int code = app.exit(error, out, err);
    Print(tool.out, out.str());
    Print(tool.err, err.str());
    return code == 0 ? kExitOk : kExitTrouble;
  }
  if (*show) return Read(tool, paths, json, false);
  if (*check) return Read(tool, paths, json, true);
  options.withMac = mac->count() > 0;
  options.withSn = sn->count() > 0;
  options.withLog = log->count() > 0;
  return SetCall(tool, options).Run();
}
