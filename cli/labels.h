#pragma once

#include <optional>
#include <string>

#include "cli/tool.h"
#include "label/label.h"
#include "ledger/ledger.h"

// What label and assign share: how a label is asked for, the values it is
// made from, and writing it.

// How labels are made, as the command line gives it.
struct LabelChoice {
  std::optional<std::string> format;
  std::optional<std::string> size;    // WIDTHxHEIGHT in millimetres; 50x25 unless given
  std::optional<std::string> design;  // a site's own template
  int dpi = 203;
};

// How each label will be made: checked, and the template read, before any
// value is taken.
struct LabelPlan {
  LabelFormat format = LabelFormat::zpl;
  LabelSize size;
  std::optional<LabelTemplate> design;
};

// Where labels go: a file (a folder, for several), or a printer.
struct LabelDestination {
  std::optional<std::string> output, printer;
};

// The plan for labels to where, whose file's extension names the format
// (else --format, else the template's, else ZPL for a printer); with
// several labels to a folder its name names none. Refused when nothing
// names a format, two name different ones, or the printer takes none of
// it: all before anything is done.
Result<LabelPlan> PlanLabels(const ToolContext& tool, const LabelDestination& where, bool several,
                             const LabelChoice& choice);

// A file's values, read and checked as show reads them, the label made now
// on this host; refused when its stored checks do not match.
Result<LabelValues> FileValues(const ToolContext& tool, const std::string& path);

// A ledger's unit: the values it carries, when and by which station;
// refused when the ledger's MAC or SN is not one a vendor file can hold.
Result<LabelValues> LedgerValues(const ledger::Unit& unit);

Result<LabelBytes> MakeLabelOf(const LabelValues& values, const LabelPlan& plan);

// Writes a label whole or not at all, replacing a file of that name.
Result<> WriteLabel(const ToolContext& tool, const std::string& path, const std::string& bytes);

// Writes the label to where's file, or prints it; says what became of it:
// the file, or the printer's job.
Result<std::string> DeliverLabel(const ToolContext& tool, const LabelDestination& where,
                                 const LabelBytes& label);
