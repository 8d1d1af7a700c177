#pragma once

#include <string>

#include "label/label.h"
#include "vendor/result.h"

// A printer the system knows by its name: a CUPS queue on Linux, the
// spooler's printer on Windows. ZPL goes as raw bytes, for the printer
// itself to read; PNG as an image the system prints.
Result<std::string> PrintOnNamedPrinter(const std::string& name, const LabelBytes& label);
