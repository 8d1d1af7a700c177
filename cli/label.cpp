// label: one label per vendor file, from the MAC and SN it holds.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>

#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/output.h"
#include "files/utf8.h"
#include "label/label.h"
#include "printer/printer.h"
#include "vendor/vendor_file.h"

namespace {

struct LabelOptions {
  std::vector<std::string> paths;
  std::optional<std::string> output;
  std::optional<std::string> printer;
  std::optional<std::string> format;
  std::string size = "50x25";
  int dpi = 203;
};

// "WxH" in millimetres.
std::optional<LabelSize> SizeNamed(const std::string& text, int dpi) {
  LabelSize size;
  size.dpi = dpi;
  char x = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "%lf%c%lf%n", &size.widthMm, &x, &size.heightMm, &used) != 3 ||
      (x != 'x' && x != 'X') || used != static_cast<int>(text.size()) || !(size.widthMm > 0) ||
      !(size.heightMm > 0) || size.widthMm > 1000 || size.heightMm > 1000)
    return std::nullopt;
  return size;
}

Outcome LabelRefused(const ToolContext& tool, const std::string& path, const std::string& why) {
  Say(tool.err, Severity::error, Wide(path), why);
  Outcome outcome;
  outcome.trouble = true;
  return outcome;
}

struct MadeLabel {
  std::string path;
  std::string mac;
  LabelBytes label;
};

// One job per label, in the files' order; the first the printer refuses or
// that cannot reach it ends the run, so labels never come out of order.
Outcome PrintLabels(const ToolContext& tool, const std::string& printer,
                    const std::vector<MadeLabel>& labels) {
  for (const MadeLabel& made : labels) {
    const Result<std::string> job = Print(printer, made.label);
    if (!job) {
      Say(tool.err, Severity::error, Wide(made.path),
          "not printed on " + printer + ": " + Describe(job.error()));
      return Outcome{.findings = true};
    }
    Print(tool.out, "printed " + made.mac + " on " + printer + ": " + *job + "\n");
  }
  return {};
}

// Every label is made before one is written: a refused file leaves none.
Outcome RunLabel(const ToolContext& tool, const LabelOptions& options) {
  const std::optional<LabelSize> size = SizeNamed(options.size, options.dpi);
  if (!size) return LabelRefused(tool, "", "--size takes WIDTHxHEIGHT in millimetres, such as 50x25");
  if (!options.output && !options.printer)
    return LabelRefused(tool, "", "name where the labels go: -o OUT or --print PRINTER");
  const std::filesystem::path out(Wide(options.output.value_or("")));
  const bool folder = options.output && options.paths.size() > 1;
  std::string extension = folder ? "" : Utf8(out.extension().wstring());
  if (!extension.empty()) extension.erase(0, 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::optional<LabelFormat> format = LabelFormatNamed(extension);
  if (!format && options.format) format = LabelFormatNamed(*options.format);
  if (!format && options.printer) format = LabelFormat::zpl;
  if (options.printer)
    if (const Result<> takes = PrinterTakes(*options.printer, *format); !takes)
      return LabelRefused(tool, *options.printer, Describe(takes.error()));
  if (!format)
    return LabelRefused(tool, *options.output,
                        folder ? "with several files OUT is a folder: name the labels' format with --format"
                               : "name the format with OUT's extension (.zpl, .png, .svg) or --format");
  Outcome outcome;
  std::vector<MadeLabel> labels;
  std::set<std::string> names;
  for (const std::string& path : options.paths) {
    const Result<StoredFields> fields = ReadFields(tool.files, Wide(path));
    if (!fields) {
      outcome |= LabelRefused(tool, path, Describe(fields.error()));
      continue;
    }
    if (!fields->Consistent()) {
      outcome |= LabelRefused(tool, path, "its stored checks do not match its fields: no label for it");
      continue;
    }
    Result<LabelBytes> label = MakeLabelBytes(fields->mac, fields->sn, *size, *format);
    if (!label) {
      outcome |= LabelRefused(tool, path, Describe(label.error()));
      continue;
    }
    std::string name = options.output.value_or(path);
    const std::string mac = VendorLayout::HexText(fields->mac);
    if (folder) {
      if (!names.insert(mac).second) {
        outcome |= LabelRefused(tool, path,
                                "another file holds the same MAC, " + mac + ": their labels share a name");
        continue;
      }
      name = Utf8((out / Wide(mac + "." + *options.format)).wstring());
    }
    labels.push_back({name, mac, std::move(*label)});
  }
  if (outcome.trouble) return outcome;
  if (options.printer) return PrintLabels(tool, *options.printer, labels);
  if (folder) {
    std::error_code failed;
    std::filesystem::create_directories(out, failed);
    if (failed) return LabelRefused(tool, *options.output, failed.message());
  }
  for (const MadeLabel& made : labels) {
    Result<Output> output = Output::Open(tool, made.path);
    if (!output) return LabelRefused(tool, made.path, Describe(output.error()));
    (void)output->Put(made.label.bytes);
    (void)output->Finish();
    if (output->Failed(outcome)) return outcome;
  }
  return outcome;
}

void DeclareLabel(CLI::App& command, Work& work) {
  auto options = std::make_shared<LabelOptions>();
  command.add_option("FILE", options->paths, "Vendor files")->required();
  command
      .add_option("-o,--output", options->output,
                  "The label, written whole or not at all; with several files a folder, each label named for "
                  "its MAC")
      ->type_name("OUT");
  command
      .add_option(
          "--print", options->printer,
          "Print the labels instead, as ZPL unless --format png: on a printer the system names, or on "
          "a network label printer, socket://HOST[:PORT], once it reports itself ready")
      ->type_name("PRINTER")
      ->excludes("--output");
  command.add_option("--format", options->format, "zpl, png or svg, where OUT has no extension naming one")
      ->check(CLI::IsMember({"zpl", "png", "svg"}));
  command.add_option("--dpi", options->dpi, "The printer's dots per inch")
      ->check(CLI::Range(100, 1200))
      ->capture_default_str();
  command.add_option("--size", options->size, "The label's WIDTHxHEIGHT in millimetres")
      ->capture_default_str();
  RunsWith(command, work, options, RunLabel);
}

}  // namespace

const Command kLabel{"label", "Make a label of each file's MAC and SN: text, Code 128 and Data Matrix",
                     DeclareLabel};
