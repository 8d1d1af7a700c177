#include "label/label.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <font.h>
#include <map>
#include <utility>
#include <vector>

#include "label/markup.h"
#include "label/png.h"
#include "label/symbols.h"
#include "label/template.h"
#include "label/zpl_data.h"

namespace {

int Dots(double mm, int dpi) { return static_cast<int>(std::lround(mm * dpi / 25.4)); }

struct Box {
  int x = 0, y = 0;
};

// Where everything goes, in printer dots: the MAC's barcode over the SN's,
// each centred, and below them the Data Matrix with the MAC and SN as text
// beside it, the two centred as one.
struct Layout {
  int width = 0, height = 0;
  int module = 0;        // dots per Code 128 module
  int matrixModule = 0;  // dots per Data Matrix module
  int glyphScale = 0;    // dots per font pixel
  int barHeight = 0;
  Box macText, macBar, snText, snBar, matrix;

  int TextHeight() const { return NORMAL_FONT_HEIGHT * glyphScale; }
  int TextWidth(std::size_t characters) const {
    return static_cast<int>(characters) * (NORMAL_FONT_WIDTH + 1) * glyphScale;
  }
};

struct Content {
  std::string macText, macData, snText, matrixData;
  Modules macBar, snBar, matrix;
};

Result<Layout> Arrange(const Content& content, const LabelSize& size, int module, int glyphScale) {
  Layout layout;
  layout.width = Dots(size.widthMm, size.dpi);
  layout.height = Dots(size.heightMm, size.dpi);
  layout.module = module;
  layout.glyphScale = glyphScale;
  const int m = module, quiet = 10 * m, line = layout.TextHeight() + m;
  // A printer places a label to about a millimetre: nothing goes nearer
  // its top or bottom edge; across, the quiet zones keep the barcodes in.
  const int edge = Dots(1, size.dpi), gap = std::max(m, Dots(0.75, size.dpi));
  // The Data Matrix as tall as the two lines of text, in whole modules.
  const int matrixSide = content.matrix.rows + 2;
  layout.matrixModule = std::clamp(2 * line / matrixSide, m, std::max(m, Dots(0.6, size.dpi)));
  const int matrixWidth = (content.matrix.columns + 2) * layout.matrixModule;
  const int bottom = std::max(matrixSide * layout.matrixModule, 2 * line);
  const int band =
      matrixWidth + m + layout.TextWidth(std::max(content.macText.size(), content.snText.size()));
  layout.barHeight = (layout.height - 2 * edge - bottom - 2 * gap) / 2;
  const int minimumBar = Dots(5, size.dpi);
  const auto needs = [&](const std::string& what, int needed, int has, const char* across) {
    char sizes[128];
    std::snprintf(sizes, sizeof sizes, " need %d dots %s, and a %gx%g mm label has %d at %d dpi", needed,
                  across, size.widthMm, size.heightMm, has, size.dpi);
    return Refusal(Words("the label's content does not fit: " + what + sizes));
  };
  if (const int across = 2 * quiet + content.macBar.columns * m; across > layout.width)
    return needs("the MAC's barcode and its quiet zones", across, layout.width, "across");
  if (const int across = 2 * quiet + content.snBar.columns * m; across > layout.width)
    return needs("the SN's barcode and its quiet zones", across, layout.width, "across");
  if (band > layout.width)
    return needs("the Data Matrix and the text beside it", band, layout.width, "across");
  if (layout.barHeight < minimumBar)
    return needs("two barcodes 5 mm tall over the Data Matrix", 2 * (minimumBar + edge + gap) + bottom,
                 layout.height, "down");
  const auto centred = [&](int across) { return (layout.width - across) / 2; };
  layout.macBar = {centred(content.macBar.columns * m), edge};
  layout.snBar = {centred(content.snBar.columns * m), edge + layout.barHeight + gap};
  const int below = edge + 2 * (layout.barHeight + gap);
  const int left = centred(band);
  layout.matrix = {left + layout.matrixModule,
                   below + (bottom - matrixSide * layout.matrixModule) / 2 + layout.matrixModule};
  const int textTop = below + (bottom - 2 * line) / 2 + m / 2;
  layout.macText = {left + matrixWidth + m, textTop};
  layout.snText = {left + matrixWidth + m, textTop + line};
  return layout;
}

// The widest modules that fit, up to 0.5 mm, and text about 2 mm tall,
// smaller where it must be; never modules under 2 dots, which a scanner
// needs, however fine the printer.
Result<Layout> Arranged(const Content& content, const LabelSize& size) {
  const int readable =
      std::max(1, static_cast<int>(std::lround(Dots(2.2, size.dpi) / double(NORMAL_FONT_HEIGHT))));
  for (int module = std::max(2, Dots(0.5, size.dpi)); module >= 2; --module)
    for (int scale = readable; scale >= 1; --scale)
      if (Result<Layout> layout = Arrange(content, size, module, scale)) return layout;
  return Arrange(content, size, 2, 1);
}

// Black on white, one byte a dot.
class Canvas {
 public:
  explicit Canvas(const Layout& layout)
      : width_(layout.width),
        height_(layout.height),
        dots_(static_cast<std::size_t>(width_) * height_, 255) {}

  void Fill(int x, int y, int width, int height) {
    for (int row = y; row < y + height; ++row)
      std::fill_n(dots_.begin() + static_cast<std::ptrdiff_t>(row) * width_ + x, width, 0);
  }
  bool Dark(int x, int y) const { return dots_[static_cast<std::size_t>(y) * width_ + x] == 0; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::vector<std::uint8_t>& Dots() const { return dots_; }

 private:
  int width_, height_;
  std::vector<std::uint8_t> dots_;
};

// Zint's own 7x14 font of the bitmaps it draws, for printable ASCII.
void DrawText(Canvas& canvas, const Layout& layout, Box at, const std::string& text) {
  const int scale = layout.glyphScale;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto code = static_cast<unsigned char>(text[i]);
    if (code <= ' ' || code > '~') continue;
    const font_item* glyph = ascii_font + (code - 33) * NORMAL_FONT_HEIGHT;
    const int left = at.x + layout.TextWidth(i);
    for (int row = 0; row < NORMAL_FONT_HEIGHT; ++row)
      for (int column = 0; column < NORMAL_FONT_WIDTH; ++column)
        if (glyph[row] & 1 << (NORMAL_FONT_WIDTH - 1 - column))
          canvas.Fill(left + column * scale, at.y + row * scale, scale, scale);
  }
}

void DrawModules(Canvas& canvas, const Modules& modules, Box at, int module, int rowHeight) {
  for (int row = 0; row < modules.rows; ++row)
    for (int column = 0; column < modules.columns; ++column)
      if (modules.Dark(column, row))
        canvas.Fill(at.x + column * module, at.y + row * rowHeight, module, rowHeight);
}

Canvas Drawn(const Content& content, const Layout& layout) {
  Canvas canvas(layout);
  DrawText(canvas, layout, layout.macText, content.macText);
  DrawModules(canvas, content.macBar, layout.macBar, layout.module, layout.barHeight);
  DrawText(canvas, layout, layout.snText, content.snText);
  DrawModules(canvas, content.snBar, layout.snBar, layout.module, layout.barHeight);
  DrawModules(canvas, content.matrix, layout.matrix, layout.matrixModule, layout.matrixModule);
  return canvas;
}

// The canvas's dark dots as rectangles: each run of a row, merged with the
// same run in the rows below, so a bar is one rectangle.
std::string Svg(const Content& content, const Layout& layout, const LabelSize& size) {
  const Canvas canvas = Drawn(content, layout);
  char head[320];
  std::snprintf(
      head, sizeof head,
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%gmm\" height=\"%gmm\" viewBox=\"0 0 %d %d\" "
      "shape-rendering=\"crispEdges\">\n",
      size.widthMm, size.heightMm, layout.width, layout.height);
  std::string svg = head;
  svg += "<title>MAC " + content.macText + " SN " + MarkupText(content.snText) + "</title>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n<g fill=\"#000\">\n";
  std::map<std::pair<int, int>, int> open;  // a run's first and last column -> its first row
  const auto close = [&svg](std::pair<int, int> run, int top, int bottom) {
    svg += "<rect x=\"" + std::to_string(run.first) + "\" y=\"" + std::to_string(top) + "\" width=\"" +
           std::to_string(run.second - run.first) + "\" height=\"" + std::to_string(bottom - top) + "\"/>\n";
  };
  for (int y = 0; y <= canvas.Height(); ++y) {
    std::map<std::pair<int, int>, int> runs;
    for (int x = 0; y < canvas.Height() && x < canvas.Width();) {
      if (!canvas.Dark(x, y)) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < canvas.Width() && canvas.Dark(x, y)) ++x;
      const auto found = open.find({start, x});
      runs[{start, x}] = found == open.end() ? y : found->second;
    }
    for (const auto& [run, top] : open)
      if (!runs.contains(run)) close(run, top, y);
    open = std::move(runs);
  }
  return svg + "</g>\n</svg>\n";
}

// A Data Matrix (^BX) reads its escape character, ~ unless named, in the
// data after ^FH's hex: the first of these the data lacks is named, so every
// byte is encoded as itself. The data holds 13 bytes of SN besides the MAC's
// hex and "MAC:;SN:", so one of these is always free.
char MatrixEscape(const std::string& data) {
  constexpr std::string_view kEscapes = "~`|\\{}#@!%&*+=?$";
  for (const char c : kEscapes)
    if (data.find(c) == std::string::npos) return c;
  return kEscapes.front();
}

// ^BX's parameters from its format on, where the escape must be named: ~
// itself never goes into a command, where a printer takes it as the start
// of a control command.
std::string MatrixEscapeParameter(const std::string& data) {
  const char escape = MatrixEscape(data);
  return escape == '~' ? "" : std::string(",6,") + escape;
}

std::string Zpl(const Content& content, const Layout& layout) {
  const auto at = [](Box box) { return "^FO" + std::to_string(box.x) + "," + std::to_string(box.y); };
  const std::string font =
      "^A0N," + std::to_string(layout.TextHeight()) + "," + std::to_string(layout.TextWidth(1));
  const std::string bar =
      "^BY" + std::to_string(layout.module) + "^BCN," + std::to_string(layout.barHeight) + ",N,N,N";
  std::string zpl =
      "^XA\n^PW" + std::to_string(layout.width) + "^LL" + std::to_string(layout.height) + "^LH0,0\n";
  zpl += at(layout.macText) + font + "^FH^FD" + ZplData(content.macText, false) + "^FS\n";
  zpl += at(layout.macBar) + bar + "^FH^FD" + ZplData(content.macData, true) + "^FS\n";
  zpl += at(layout.snText) + font + "^FH^FD" + ZplData(content.snText, false) + "^FS\n";
  zpl += at(layout.snBar) + bar + "^FH^FD" + ZplData(content.snText, true) + "^FS\n";
  zpl += at(layout.matrix) + "^BXN," + std::to_string(layout.matrixModule) + ",200," +
         std::to_string(content.matrix.columns) + "," + std::to_string(content.matrix.rows) +
         MatrixEscapeParameter(content.matrixData) + "^FH^FD" + ZplData(content.matrixData, false) + "^FS\n";
  return zpl + "^XZ\n";
}

}  // namespace

std::optional<LabelFormat> LabelFormatNamed(std::string_view name) {
  if (name == "zpl") return LabelFormat::zpl;
  if (name == "png") return LabelFormat::png;
  if (name == "svg") return LabelFormat::svg;
  return std::nullopt;
}

std::string LabelFormatName(LabelFormat format) {
  switch (format) {
    case LabelFormat::zpl:
      return "zpl";
    case LabelFormat::svg:
      return "svg";
    case LabelFormat::png:
      break;
  }
  return "png";
}

Result<LabelBytes> MakeLabel(const LabelValues& values, const LabelSize& size, LabelFormat format,
                             const LabelTemplate* design) {
  Result<LabelTexts> texts = TextsOf(values);
  if (!texts) return texts.error();
  LabelBytes label;
  label.format = format;
  if (design) {
    Result<std::string> filled = FilledTemplate(*design, *texts, format, size.dpi);
    if (!filled) return filled.error();
    label.bytes = std::move(*filled);
    return label;
  }
  Content content;
  content.macData = texts->mac;
  content.macText = texts->macColons;
  content.snText = texts->sn;
  content.matrixData = texts->matrix;
  Result<Modules> macBar = Code128(content.macData), snBar = Code128(content.snText),
                  matrix = DataMatrix(content.matrixData);
  for (const Result<Modules>* made : {&macBar, &snBar, &matrix})
    if (!*made) return made->error();
  content.macBar = std::move(*macBar);
  content.snBar = std::move(*snBar);
  content.matrix = std::move(*matrix);
  const Result<Layout> layout = Arranged(content, size);
  if (!layout) return layout.error();
  switch (format) {
    case LabelFormat::zpl:
      label.bytes = Zpl(content, *layout);
      return label;
    case LabelFormat::svg:
      label.bytes = Svg(content, *layout, size);
      return label;
    case LabelFormat::png:
      break;
  }
  const Canvas canvas = Drawn(content, *layout);
  label.dots = {canvas.Width(), canvas.Height(), size.dpi, canvas.Dots()};
  label.bytes = GrayPng(canvas.Width(), canvas.Height(), canvas.Dots());
  return label;
}
