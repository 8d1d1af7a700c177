#include "cli/labels.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "cli/messages.h"
#include "cli/output.h"
#include "files/clock.h"
#include "files/host.h"
#include "files/utf8.h"
#include "label/template.h"
#include "printer/printer.h"
#include "vendor/vendor_file.h"

namespace {

// "WxH" in millimetres, at dpi.
Result<LabelSize> SizeNamed(const std::string& text, int dpi) {
  LabelSize size;
  size.dpi = dpi;
  char x = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "%lf%c%lf%n", &size.widthMm, &x, &size.heightMm, &used) != 3 ||
      (x != 'x' && x != 'X') || used != static_cast<int>(text.size()) || !(size.widthMm > 0) ||
      !(size.heightMm > 0) || size.widthMm > 1000 || size.heightMm > 1000)
    return Refusal(L"--size takes WIDTHxHEIGHT in millimetres, such as 50x25");
  return size;
}

std::optional<LabelFormat> ExtensionFormat(const std::string& path) {
  std::string extension = Utf8(std::filesystem::path(Wide(path)).extension().wstring());
  if (!extension.empty()) extension.erase(0, 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return LabelFormatNamed(extension);
}

}  // namespace

Result<LabelPlan> PlanLabels(const ToolContext& tool, const LabelDestination& where, bool several,
                             const LabelChoice& choice) {
  LabelPlan plan;
  Result<LabelSize> size = SizeNamed(choice.size.value_or("50x25"), choice.dpi);
  if (!size) return size.error();
  plan.size = *size;
  std::optional<LabelFormat> format =
      where.output && !several ? ExtensionFormat(*where.output) : std::nullopt;
  const std::optional<LabelFormat> named = choice.format ? LabelFormatNamed(*choice.format) : std::nullopt;
  if (!format) format = named;
  if (choice.design) {
    Result<LabelTemplate> read = ReadLabelTemplate(tool.files, Wide(*choice.design));
    if (!read) return Refusal(Wide(*choice.design + ": " + Describe(read.error())));
    if (choice.size) return Refusal(L"the template sets the label's size: --size is not taken with it");
    const auto other = [&](const std::optional<LabelFormat>& asked) {
      return asked.has_value() && asked.value() != read->format;
    };
    if (other(format) || other(named))
      return Refusal(Wide("the template " + *choice.design + " makes ." + LabelFormatName(read->format) +
                          " labels: OUT's extension and --format may name only that format"));
    format = read->format;
    plan.design = std::move(*read);
  }
  if (!format && where.printer) format = LabelFormat::zpl;
  if (!format)
    return Refusal(several ? L"with several labels OUT is a folder: name their format with --format"
                           : L"name the label's format with its extension (.zpl, .png, .svg) or --format");
  if (where.printer) {
    if (Result<> takes = PrinterTakes(*where.printer, *format); !takes)
      return Refusal(Wide(*where.printer + ": " + Describe(takes.error())));
  }
  plan.format = *format;
  return plan;
}

Result<LabelValues> FileValues(const ToolContext& tool, const std::string& path) {
  const Result<StoredFields> fields = ReadFields(tool.files, Wide(path));
  if (!fields) return fields.error();
  if (!fields->Consistent()) return Refusal(L"its stored checks do not match its fields: no label for it");
  return LabelValues{fields->mac, fields->sn, IsoTime(Now()), HostName()};
}

Result<LabelValues> LedgerValues(const ledger::Unit& unit) {
  const std::optional<VendorLayout::MacBytes> mac = VendorLayout::MacBytesOf(Wide(unit.mac));
  LabelValues values{{}, {}, unit.time, unit.station};
  if (!mac || unit.sn.size() != values.sn.size())
    return Refusal(Wide("the ledger's unit of MAC " + unit.mac + " and SN " + unit.sn +
                        " holds values no vendor file holds: no label for it"));
  values.mac = *mac;
  std::copy(unit.sn.begin(), unit.sn.end(), values.sn.begin());
  return values;
}

Result<LabelBytes> MakeLabelOf(const LabelValues& values, const LabelPlan& plan) {
  return MakeLabel(values, plan.size, plan.format, plan.design ? &*plan.design : nullptr);
}

Result<> WriteLabel(const ToolContext& tool, const std::string& path, const std::string& bytes) {
  Result<Output> output = Output::Open(tool, path);
  if (!output) return output.error();
  if (Result<> put = output->Put(bytes); !put) return put;
  return output->Finish();
}

Result<std::string> DeliverLabel(const ToolContext& tool, const LabelDestination& where,
                                 const LabelBytes& label) {
  if (where.printer) return Print(*where.printer, label);
  if (Result<> written = WriteLabel(tool, *where.output, label.bytes); !written) return written.error();
  return *where.output;
}
