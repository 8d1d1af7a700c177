#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "label/values.h"
#include "vendor/result.h"

// One label for a vendor file's MAC and SN: each as text and as a Code 128
// barcode, and a Data Matrix of both. Every module is at least 2 printer dots
// wide, each barcode keeps its quiet zone, and content that does not fit the
// label is refused rather than squeezed.

enum class LabelFormat { zpl, png, svg };

// "zpl", "png", "svg"; nothing for any other name.
std::optional<LabelFormat> LabelFormatNamed(std::string_view name);
// The format's name, as LabelFormatNamed takes it.
std::string LabelFormatName(LabelFormat format);

struct LabelSize {
  double widthMm = 50;
  double heightMm = 25;
  int dpi = 203;
};

// A site's own label design, ZPL or SVG, with placeholders for the values
// (template.h says which, and how each format takes them).
struct LabelTemplate {
  LabelFormat format = LabelFormat::zpl;
  std::string bytes;
};

// A label as its dots, row by row, one byte a dot (0 black, 255 white), at
// the label's dpi: what a PNG label holds, for a printer that is handed a
// bitmap rather than a file.
struct LabelDots {
  int width = 0, height = 0, dpi = 0;
  std::vector<std::uint8_t> dots;
};

// A label: its bytes in the format, and for PNG also its dots.
struct LabelBytes {
  LabelFormat format = LabelFormat::zpl;
  std::string bytes;
  LabelDots dots;
};

// The label in the format: the built-in layout in the size given, or the
// template filled in, which must be of that format (the SVG's barcodes
// fitted to their boxes at the size's dpi). Refused when the SN holds a byte
// outside printable ASCII, or the content does not fit.
Result<LabelBytes> MakeLabel(const LabelValues& values, const LabelSize& size, LabelFormat format,
                             const LabelTemplate* design = nullptr);
