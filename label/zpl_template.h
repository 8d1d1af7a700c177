#pragma once

#include <string>
#include <string_view>

#include "label/values.h"
#include "vendor/result.h"

// A ZPL template (^XA ... ^XZ) filled in. Placeholders are taken only in a
// field's data, ^FD up to its ^FS; each such field gets ^FH before its ^FD
// unless it has one, and the values go out in the field's hex indicator
// (zpl_data.h). A field given ^FH here has its own '_' written as _5F, so it
// prints as before. Every other byte is the template's, unchanged.
// Refused: a template that does not begin with ^XA and end with ^XZ, one
// that changes the command prefixes (^CC, ^CT), a placeholder outside field
// data, a filled field not closed by ^FS, an ^FH indicator the values
// cannot be written in, and a value holding the escape character of the
// Data Matrix (^BX) it goes into.
Result<std::string> FilledZpl(std::string_view zpl, const LabelTexts& texts);
