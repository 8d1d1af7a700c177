#pragma once

#include <string>

#include "label/label.h"
#include "vendor/files.h"

// A site's own label design: a ZPL or an SVG file, its format named by its
// extension, .zpl or .svg, with placeholders for the values
// (placeholders.h), filled in as zpl_template.h and svg_template.h say.

// The template at path, read whole; refused when its extension names
// neither format, or it is larger than a label's design ever is (4 MiB).
Result<LabelTemplate> ReadLabelTemplate(Files& files, const std::wstring& path);

// The template filled in with the texts; refused when the format asked for
// is not the template's.
Result<std::string> FilledTemplate(const LabelTemplate& design, const LabelTexts& texts, LabelFormat format,
                                   int dpi);
