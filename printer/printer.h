#pragma once

#include <string>

#include "label/label.h"
#include "vendor/result.h"

// Labels printed: on a printer the system knows by name (CUPS on Linux, the
// spooler on Windows), or straight to a network label printer named as
// socket://HOST[:PORT], which is asked for its status first. Every failure
// comes back in the words of the system, the print server or the printer.

// Whether the printer can take a label in this format: ZPL anywhere, PNG
// only on a named printer, SVG nowhere. Asks nothing of the printer, so a
// command can refuse before it changes anything.
Result<> PrinterTakes(const std::string& printer, LabelFormat format);

// Prints the label; gives what the printer made of it, such as "job zebra-42".
Result<std::string> Print(const std::string& printer, const LabelBytes& label);
