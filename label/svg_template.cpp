#include "label/svg_template.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>
#include <vector>

#include "label/markup.h"
#include "label/placeholders.h"
#include "label/svg_reader.h"
#include "label/symbols.h"

namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A number as SVG writes one, and what follows it.
std::optional<double> NumberOf(std::string_view text, std::string_view& unit) {
  while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
  unit = text.substr(static_cast<std::size_t>(end - text.data()));
  return value;
}

// A length in user units: a number, or a number in px.
std::optional<double> UserUnits(std::string_view text) {
  std::string_view unit;
  const std::optional<double> value = NumberOf(text, unit);
  if (!value || (!unit.empty() && unit != "px")) return std::nullopt;
  return value;
}

std::optional<double> Millimetres(std::string_view text) {
  std::string_view unit;
  const std::optional<double> value = NumberOf(text, unit);
  if (!value || !(*value > 0)) return std::nullopt;
  if (unit == "mm") return *value;
  if (unit == "cm") return *value * 10;
  if (unit == "in") return *value * 25.4;
  if (unit == "pt") return *value * 25.4 / 72;
  if (unit == "pc") return *value * 25.4 / 6;
  return std::nullopt;
}

std::vector<double> Numbers(std::string_view text) {
  std::vector<double> numbers;
  for (std::size_t at = 0; at < text.size();) {
    if (Blank(text[at]) || text[at] == ',') {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < text.size() && !Blank(text[end]) && text[end] != ',') ++end;
    std::string_view unit;
    const std::optional<double> value = NumberOf(text.substr(at, end - at), unit);
    if (!value || !unit.empty()) return {};
    numbers.push_back(*value);
    at = end;
  }
  return numbers;
}

struct Offset {
  double x = 0, y = 0;
};

// How far a transform moves, when all it does is move: translate()s, and
// matrix(1 0 0 1 e f); nothing for any other.
std::optional<Offset> Moves(std::string_view transform) {
  Offset moved;
  while (!transform.empty()) {
    if (Blank(transform.front()) || transform.front() == ',') {
      transform.remove_prefix(1);
      continue;
    }
    const std::size_t open = transform.find('('), close = transform.find(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
      return std::nullopt;
    std::string_view name = transform.substr(0, open);
    while (!name.empty() && Blank(name.back())) name.remove_suffix(1);
    const std::vector<double> numbers = Numbers(transform.substr(open + 1, close - open - 1));
    if (name == "translate" && (numbers.size() == 1 || numbers.size() == 2)) {
      moved.x += numbers[0];
      moved.y += numbers.size() == 2 ? numbers[1] : 0;
    } else if (name == "matrix" && numbers.size() == 6 && numbers[0] == 1 && numbers[1] == 0 &&
               numbers[2] == 0 && numbers[3] == 1) {
      moved.x += numbers[4];
      moved.y += numbers[5];
    } else {
      return std::nullopt;
    }
    transform.remove_prefix(close + 1);
  }
  return moved;
}

// Where a barcode starts, centred at start with slack to spare either side:
// moved to the nearest whole printer dot from the label's edge (origin
// away, in user units) where the slack allows, so that every module's edges
// fall on the printer's dots.
double OnDots(double start, double slack, double origin, double dotsPerUnit) {
  const double dots = (start + origin) * dotsPerUnit, nearest = std::round(dots);
  if (std::abs(nearest - dots) > slack * dotsPerUnit) return start;
  return nearest / dotsPerUnit - origin;
}

std::string Decimal(double value) {
  char text[64];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
  std::string written(text, error == std::errc() ? end : text);
  if (written.find('.') != std::string::npos) {
    written.erase(written.find_last_not_of('0') + 1);
    if (written.back() == '.') written.pop_back();
  }
  return written == "-0" ? "0" : written;
}

enum class Symbology { code128, datamatrix };

struct Target {
  const char* id;
  Symbology symbology;
  std::string LabelTexts::*data;
};

constexpr Target kTargets[] = {
    {"mac-barcode", Symbology::code128, &LabelTexts::mac},
    {"sn-barcode", Symbology::code128, &LabelTexts::sn},
    {"datamatrix", Symbology::datamatrix, &LabelTexts::matrix},
};

struct Box {
  double x = 0, y = 0, width = 0, height = 0;
  Offset moved;  // by the transforms of the box and the groups around it
};

// The root's user units: millimetres per unit, and the viewBox's corner.
struct UserSpace {
  double mmPerUnit = 0;
  Offset corner;
};

class Filler {
 public:
  Filler(std::string_view svg, const std::vector<SvgPiece>& pieces, const LabelTexts& texts, int dpi)
      : svg_(svg), pieces_(pieces), texts_(texts), dpi_(dpi) {}

  Result<std::string> Filled() {
    std::string out;
    std::size_t copied = 0;
    std::vector<bool> done(std::size(kTargets));
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
      const SvgPiece& piece = pieces_[i];
      std::string replaced;
      if (piece.kind == SvgPiece::Kind::text) {
        const std::string_view parent = pieces_[piece.parent].name;
        if (parent == "style" || parent == "script") continue;
        Result<std::string> text = FilledText(svg_.substr(piece.at, piece.end - piece.at));
        if (!text) return text.error();
        replaced = std::move(*text);
      } else if (piece.kind == SvgPiece::Kind::start) {
        const std::optional<std::string_view> id = piece.Attribute("id");
        const Target* target = nullptr;
        for (const Target& candidate : kTargets)
          if (id == candidate.id) target = &candidate;
        if (target) {
          const std::size_t which = static_cast<std::size_t>(target - kTargets);
          if (done[which])
            return Refusal(L"the template has two elements with id=\"" + Words(target->id) + L"\"");
          done[which] = true;
          Result<std::string> barcode = Barcode(i, *target);
          if (!barcode) return barcode.error();
          out.append(svg_.substr(copied, piece.at - copied));
          out += *barcode;
          const std::size_t last = LastOf(i);
          copied = pieces_[last].end;
          i = last;
          continue;
        }
        Result<std::string> tag = FilledTag(piece);
        if (!tag) return tag.error();
        replaced = std::move(*tag);
      } else {
        continue;
      }
      out.append(svg_.substr(copied, piece.at - copied));
      out += replaced;
      copied = piece.end;
    }
    return out.append(svg_.substr(copied));
  }

 private:
  Result<std::string> FilledText(std::string_view text) const {
    return ::Filled(
        text, texts_, [](const std::string& value) { return MarkupText(value); },
        [](std::string_view own) { return std::string(own); });
  }

  Result<std::string> FilledTag(const SvgPiece& piece) const {
    std::string tag;
    std::size_t copied = piece.at;
    for (const SvgAttribute& attribute : piece.attributes) {
      Result<std::string> value = FilledText(attribute.value);
      if (!value) return value.error();
      tag.append(svg_.substr(copied, attribute.valueAt - copied));
      tag += *value;
      copied = attribute.valueAt + attribute.value.size();
    }
    return tag.append(svg_.substr(copied, piece.end - copied));
  }

  // The last piece of the element whose start tag is at start.
  std::size_t LastOf(std::size_t start) const {
    if (pieces_[start].empty) return start;
    std::size_t last = start + 1;
    while (!(pieces_[last].kind == SvgPiece::Kind::end && pieces_[last].parent == start)) ++last;
    return last;
  }

  // The root's user units, from its size and viewBox.
  Result<UserSpace> Space(const std::wstring& why) const {
    const SvgPiece& root = pieces_[RootIndex()];
    const std::optional<std::string_view> width = root.Attribute("width"), height = root.Attribute("height"),
                                          viewBox = root.Attribute("viewBox");
    const std::optional<double> widthMm = width ? Millimetres(*width) : std::nullopt,
                                heightMm = height ? Millimetres(*height) : std::nullopt;
    if (!widthMm || !heightMm)
      return Refusal(why +
                     L": the <svg> needs its width and height in mm, cm or in (such as width=\"50mm\") "
                     L"to be measured in printer dots");
    const std::vector<double> box = viewBox ? Numbers(*viewBox) : std::vector<double>();
    if (box.size() != 4 || !(box[2] > 0) || !(box[3] > 0))
      return Refusal(why +
                     L": the <svg> needs a viewBox (such as viewBox=\"0 0 50 25\") to be measured in "
                     L"printer dots");
    const double across = *widthMm / box[2], down = *heightMm / box[3];
    // As a browser or printer scales it: a viewBox of other proportions is
    // scaled by the lesser and centred, which would move every bar off the
    // printer's dots.
    if (std::abs(across - down) > 1e-6 * std::max(across, down))
      return Refusal(why + L": the <svg>'s viewBox is not in the proportions of its width and height");
    return UserSpace{across, Offset{box[0], box[1]}};
  }

  std::size_t RootIndex() const {
    std::size_t i = 0;
    while (pieces_[i].kind != SvgPiece::Kind::start) ++i;
    return i;
  }

  Result<Box> BoxOf(const SvgPiece& piece, const std::wstring& what) const {
    Offset moved;
    const auto add = [&moved](const std::optional<Offset>& by) {
      if (by) moved = Offset{moved.x + by->x, moved.y + by->y};
      return by.has_value();
    };
    for (std::size_t at = piece.parent; pieces_[at].parent != at; at = pieces_[at].parent) {
      const SvgPiece& group = pieces_[at];
      if (group.name != "g" && group.name != "a")
        return Refusal(what + L" is inside a <" + Words(group.name) +
                       L">: a barcode's box may be only in groups (<g>, <a>)");
      if (const std::optional<std::string_view> transform = group.Attribute("transform");
          transform && !add(Moves(*transform)))
        return Refusal(what + L" is in a group that is scaled or turned (transform=\"" + Words(*transform) +
                       L"\"): only translate() can be measured in printer dots");
    }
    if (const std::optional<std::string_view> transform = piece.Attribute("transform");
        transform && !add(Moves(*transform)))
      return Refusal(what + L" is scaled or turned (transform=\"" + Words(*transform) +
                     L"\"): only translate() can be measured in printer dots");
    Box box;
    const std::optional<std::string_view> x = piece.Attribute("x"), y = piece.Attribute("y"),
                                          width = piece.Attribute("width"),
                                          height = piece.Attribute("height");
    const std::optional<double> left = x ? UserUnits(*x) : 0.0, top = y ? UserUnits(*y) : 0.0;
    const std::optional<double> across = UserUnits(width.value_or("")), down = UserUnits(height.value_or(""));
    if (!left || !top || !(across.value_or(0) > 0) || !(down.value_or(0) > 0))
      return Refusal(what +
                     L" needs x, y, width and height in the SVG's user units (numbers), "
                     L"width and height above 0");
    return Box{*left, *top, across.value_or(0), down.value_or(0), moved};
  }

  Result<std::string> Barcode(std::size_t index, const Target& target) const {
    const SvgPiece& piece = pieces_[index];
    const std::wstring what = L"the box id=\"" + Words(target.id) + L"\"";
    const Result<Box> box = BoxOf(piece, what);
    if (!box) return box.error();
    const Result<UserSpace> space = Space(what);
    if (!space) return space.error();
    const std::string& data = texts_.*target.data;
    const bool linear = target.symbology == Symbology::code128;
    Result<Modules> modules = linear ? Code128(data) : DataMatrix(data);
    if (!modules) return modules.error();
    const int quiet = linear ? 10 : 1;
    const int across = modules->columns + 2 * quiet, down = linear ? 0 : modules->rows + 2 * quiet;
    const double dotsPerUnit = space->mmPerUnit * dpi_ / 25.4;
    const double boxAcross = box->width * dotsPerUnit, boxDown = box->height * dotsPerUnit;
    int module = static_cast<int>(std::floor(boxAcross / across + 1e-9));
    if (!linear) module = std::min(module, static_cast<int>(std::floor(boxDown / down + 1e-9)));
    const double heightMm = box->height * space->mmPerUnit;
    if (module < 2) {
      const std::wstring needs =
          linear ? std::to_wstring(2 * across) + L" dots across"
                 : std::to_wstring(2 * across) + L"x" + std::to_wstring(2 * down) + L" dots";
      return Refusal(what + L" is " + std::to_wstring(static_cast<int>(boxAcross)) + L"x" +
                     std::to_wstring(static_cast<int>(boxDown)) + L" dots at " + std::to_wstring(dpi_) +
                     L" dpi: its barcode with its quiet zones needs " + needs + L", 2 dots a module");
    }
    if (linear && heightMm < 5 - 1e-9)
      return Refusal(what + L" is under 5 mm tall: a Code 128 is drawn at least 5 mm tall");
    const double unit = module / dotsPerUnit;  // a module in user units
    const double slackAcross = (box->width - across * unit) / 2, slackDown = (box->height - down * unit) / 2;
    const double left =
        OnDots(box->x + slackAcross, slackAcross, box->moved.x - space->corner.x, dotsPerUnit) + quiet * unit;
    const double top =
        linear ? box->y
               : OnDots(box->y + slackDown, slackDown, box->moved.y - space->corner.y, dotsPerUnit) +
                     quiet * unit;
    const double rowHeight = linear ? box->height : unit;
    std::string group = "<g id=\"" + std::string(target.id) + "\"";
    if (const std::optional<std::string_view> transform = piece.Attribute("transform"))
      group += " transform=\"" + std::string(*transform) + "\"";
    group += " fill=\"#000\" stroke=\"none\" shape-rendering=\"crispEdges\">";
    for (int row = 0; row < modules->rows; ++row)
      for (int column = 0; column < modules->columns;) {
        if (!modules->Dark(column, row)) {
          ++column;
          continue;
        }
        const int start = column;
        while (column < modules->columns && modules->Dark(column, row)) ++column;
        group += "<rect x=\"" + Decimal(left + start * unit) + "\" y=\"" + Decimal(top + row * rowHeight) +
                 "\" width=\"" + Decimal((column - start) * unit) + "\" height=\"" + Decimal(rowHeight) +
                 "\"/>";
      }
    return group + "</g>";
  }

  std::string_view svg_;
  const std::vector<SvgPiece>& pieces_;
  const LabelTexts& texts_;
  int dpi_;
};

}  // namespace

Result<std::string> FilledSvg(std::string_view svg, const LabelTexts& texts, int dpi) {
  const Result<std::vector<SvgPiece>> pieces = SvgPieces(svg);
  if (!pieces) return pieces.error();
  return Filler(svg, *pieces, texts, dpi).Filled();
}
