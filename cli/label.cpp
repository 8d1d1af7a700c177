// label: one label per vendor file, from the MAC and SN it holds.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>

#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/output.h"
#include "files/clock.h"
#include "files/host.h"
#include "files/utf8.h"
#include "label/template.h"
#include "vendor/vendor_file.h"

namespace {

struct LabelOptions {
  std::vector<std::string> paths;
  std::optional<std::string> output;
  std::optional<std::string> format;
  std::optional<std::string> design;
  std::string size = "50x25";
  const CLI::Option* sizeOption = nullptr;
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
  std::string bytes;
};

// Every label is made before one is written: a refused file leaves none.
Outcome RunLabel(const ToolContext& tool, const LabelOptions& options) {
  const std::optional<LabelSize> size = SizeNamed(options.size, options.dpi);
  if (!size) return LabelRefused(tool, "", "--size takes WIDTHxHEIGHT in millimetres, such as 50x25");
  const std::filesystem::path out(Wide(*options.output));
  const bool folder = options.paths.size() > 1;
  std::string extension = folder ? "" : Utf8(out.extension().wstring());
  if (!extension.empty()) extension.erase(0, 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::optional<LabelFormat> format = LabelFormatNamed(extension);
  if (!format && options.format) format = LabelFormatNamed(*options.format);
  std::optional<LabelTemplate> design;
  if (options.design) {
    Result<LabelTemplate> read = ReadLabelTemplate(tool.files, Wide(*options.design));
    if (!read) return LabelRefused(tool, *options.design, Describe(read.error()));
    if (options.sizeOption->count())
      return LabelRefused(tool, *options.design, "the template sets the label's size: --size is not taken");
    const bool disagree = (format && *format != read->format) ||
                          (options.format && LabelFormatNamed(*options.format) != read->format);
    if (disagree)
      return LabelRefused(tool, *options.output,
                          "the template " + *options.design + " makes ." + LabelFormatName(read->format) +
                              " labels: OUT's extension and --format may name only that format");
    format = read->format;
    design = std::move(*read);
  }
  if (!format)
    return LabelRefused(tool, *options.output,
                        folder ? "with several files OUT is a folder: name the labels' format with --format"
                               : "name the format with OUT's extension (.zpl, .png, .svg) or --format");
  const std::string madeAt = IsoTime(Now()), station = HostName();
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
    const LabelValues values{fields->mac, fields->sn, madeAt, station};
    Result<std::string> label = MakeLabel(values, *size, *format, design ? &*design : nullptr);
    if (!label) {
      outcome |= LabelRefused(tool, path, Describe(label.error()));
      continue;
    }
    std::string name = *options.output;
    if (folder) {
      const std::string mac = VendorLayout::HexText(fields->mac);
      if (!names.insert(mac).second) {
        outcome |= LabelRefused(tool, path,
                                "another file holds the same MAC, " + mac + ": their labels share a name");
        continue;
      }
      name = Utf8((out / Wide(mac + "." + LabelFormatName(*format))).wstring());
    }
    labels.push_back({name, std::move(*label)});
  }
  if (outcome.trouble) return outcome;
  if (folder) {
    std::error_code failed;
    std::filesystem::create_directories(out, failed);
    if (failed) return LabelRefused(tool, *options.output, failed.message());
  }
  for (const MadeLabel& made : labels) {
    Result<Output> output = Output::Open(tool, made.path);
    if (!output) return LabelRefused(tool, made.path, Describe(output.error()));
    (void)output->Put(made.bytes);
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
      ->type_name("OUT")
      ->required();
  command.add_option("--format", options->format, "zpl, png or svg, where OUT has no extension naming one")
      ->check(CLI::IsMember({"zpl", "png", "svg"}));
  command.add_option("--dpi", options->dpi, "The printer's dots per inch")
      ->check(CLI::Range(100, 1200))
      ->capture_default_str();
  options->sizeOption =
      command.add_option("--size", options->size, "The label's WIDTHxHEIGHT in millimetres")
          ->capture_default_str();
  command
      .add_option(
          "--template", options->design,
          "A site's own label, a .zpl or .svg file whose format the labels take, with {mac}, "
          "{mac:colons}, {mac:dashes}, {sn}, {time} (UTC, when the label is made) and {station} (this "
          "machine's name) filled in; in an SVG the elements with id mac-barcode, sn-barcode and "
          "datamatrix become those barcodes, fitted to their boxes at --dpi. An unknown {name} is "
          "refused; any other brace is left as it is")
      ->type_name("FILE");
  RunsWith(command, work, options, RunLabel);
}

}  // namespace

const Command kLabel{"label", "Make a label of each file's MAC and SN: text, Code 128 and Data Matrix",
                     DeclareLabel};
