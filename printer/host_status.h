#pragma once

#include <string>
#include <string_view>

#include "vendor/result.h"

// A label printer's answer to ~HS: three strings, each between STX and ETX,
// of comma-separated fields.

// Whether reply holds the three strings whole, so reading can stop.
bool HostStatusComplete(std::string_view reply);

// Nothing when the printer says it is ready to print; refused with the
// reasons it is not (paper out, ribbon out, head open, paused), or when the
// reply cannot be read as a status.
Result<> ReadyToPrint(std::string_view reply);
