#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vendor/layout.h"
#include "vendor/result.h"

// One label for a vendor file's MAC and SN: each as text and as a Code 128
// barcode, and a Data Matrix of both. Every module is at least 2 printer dots
// wide, each barcode keeps its quiet zone, and content that does not fit the
// label is refused rather than squeezed.

enum class LabelFormat { zpl, png, svg };

// "zpl", "png", "svg"; nothing for any other name.
std::optional<LabelFormat> LabelFormatNamed(std::string_view name);

struct LabelSize {
  double widthMm = 50;
  double heightMm = 25;
  int dpi = 203;
};

// The label's bytes in the format; refused when the SN holds a byte outside
// printable ASCII or the content does not fit.
Result<std::string> MakeLabel(const VendorLayout::MacBytes& mac, const VendorLayout::SnBytes& sn,
                              const LabelSize& size, LabelFormat format);

// A label as its dots, row by row, one byte a dot (0 black, 255 white), at
// the label's dpi: what a PNG label holds, for a printer that is handed a
// bitmap rather than a file.
struct LabelDots {
  int width = 0, height = 0, dpi = 0;
  std::vector<std::uint8_t> dots;
};

// A label to print: its bytes in the format, and for PNG also its dots.
struct LabelBytes {
  LabelFormat format = LabelFormat::zpl;
  std::string bytes;
  LabelDots dots;
};

// MakeLabel's bytes with, for PNG, the dots they were made from; refused as
// MakeLabel refuses.
Result<LabelBytes> MakeLabelBytes(const VendorLayout::MacBytes& mac, const VendorLayout::SnBytes& sn,
                                  const LabelSize& size, LabelFormat format);
