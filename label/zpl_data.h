#pragma once

#include <string>

// A value as a ZPL field's data under ^FH with the hex indicator given:
// every ^, ~, the indicator itself and every byte outside printable ASCII as
// the indicator and two hex digits; in a Code 128 field (^BC) also a literal
// > as ><, since > starts the printer's code-set switches there.
std::string ZplData(const std::string& data, bool code128, char indicator = '_');
