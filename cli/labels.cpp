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

namespace {

// --size's "WxH" in millimetres, at --dpi.
Result<LabelSize> SizeOf(const LabelChoice& choice) {
  LabelSize size;
  size.dpi = choice.dpi;
  char x = 0;
  int used = 0;
  if (std::sscanf(choice.size.c_str(), "%lf%c%lf%n", &size.widthMm, &x, &size.heightMm, &used) != 3 ||
      (x != 'x' && x != 'X') || used != static_cast<int>(choice.size.size()) || !(size.widthMm > 0) ||
      !(size.heightMm > 0) || size.widthMm > 1000 || size.heightMm > 1000)
    return Refusal(L"--size takes WIDTHxHEIGHT in millimetres, such as 50x25");
  return size;
}

}  // namespace

Result<LabelledUnit> FileUnit(const ToolContext& tool, const std::string& path) {
  const Result<StoredFields> fields = ReadFields(tool.files, Wide(path));
  if (!fields) return fields.error();
  if (!fields->Consistent()) return Refusal(L"its stored checks do not match its fields: no label for it");
  return LabelledUnit{fields->mac, fields->sn, IsoTime(Now()), HostName()};
}

LabelledUnit LedgerUnit(const ledger::Unit& unit) {
  LabelledUnit labelled{{}, {}, unit.time, unit.station};
  labelled.mac = VendorLayout::MacBytesOf(Wide(unit.mac)).value_or(VendorLayout::MacBytes{});
  std::copy_n(unit.sn.begin(), std::min(unit.sn.size(), labelled.sn.size()), labelled.sn.begin());
  return labelled;
}

Result<LabelFormat> LabelFormatFor(const std::string& path, const LabelChoice& choice) {
  std::string extension = Utf8(std::filesystem::path(Wide(path)).extension().wstring());
  if (!extension.empty()) extension.erase(0, 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (const std::optional<LabelFormat> named = LabelFormatNamed(extension)) return *named;
  if (choice.format) {
    if (const std::optional<LabelFormat> named = LabelFormatNamed(*choice.format)) return *named;
  }
  return Refusal(L"name the label's format with its extension (.zpl, .png, .svg) or --format");
}

Result<> CheckLabelChoice(const std::string& path, const LabelChoice& choice) {
  if (const Result<LabelFormat> format = LabelFormatFor(path, choice); !format) return format.error();
  if (const Result<LabelSize> size = SizeOf(choice); !size) return size.error();
  return {};
}

Result<std::string> MakeLabelOf(const LabelledUnit& unit, const LabelChoice& choice, LabelFormat format) {
  const Result<LabelSize> size = SizeOf(choice);
  if (!size) return size.error();
  return MakeLabel(unit.mac, unit.sn, *size, format);
}

Result<> WriteLabel(const ToolContext& tool, const std::string& path, const std::string& bytes) {
  Result<Output> output = Output::Open(tool, path);
  if (!output) return output.error();
  if (Result<> put = output->Put(bytes); !put) return put;
  return output->Finish();
}
