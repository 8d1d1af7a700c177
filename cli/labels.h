#pragma once

#include <optional>
#include <string>

#include "cli/tool.h"
#include "label/label.h"
#include "ledger/ledger.h"
#include "vendor/vendor_file.h"

// What label and assign share: how a label is asked for, what it is made
// from, and writing it.

// How a label is made, as the command line gives it.
struct LabelChoice {
  std::optional<std::string> format;
  std::string size = "50x25";
  int dpi = 203;
};

// The values a label carries, with when and where they were given.
struct LabelledUnit {
  VendorLayout::MacBytes mac{};
  VendorLayout::SnBytes sn{};
  std::string time, station;
};

// A file's unit: its fields, read and checked as show reads them, given
// now on this host; refused when its stored checks do not match.
Result<LabelledUnit> FileUnit(const ToolContext& tool, const std::string& path);

// A ledger's unit, as it was given: the values it carries, when and by
// which station.
LabelledUnit LedgerUnit(const ledger::Unit& unit);

// The format a label to path is made in: path's extension names it, else
// --format; a usage failure when neither does.
Result<LabelFormat> LabelFormatFor(const std::string& path, const LabelChoice& choice);

// Refuses, before anything is done, a label whose format or size cannot be told.
Result<> CheckLabelChoice(const std::string& path, const LabelChoice& choice);

Result<std::string> MakeLabelOf(const LabelledUnit& unit, const LabelChoice& choice, LabelFormat format);

// Writes a label whole or not at all, replacing a file of that name.
Result<> WriteLabel(const ToolContext& tool, const std::string& path, const std::string& bytes);
