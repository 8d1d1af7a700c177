#include "label/svg_reader.h"

#include <string>

#include "label/values.h"

namespace {

bool Space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool NameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':'; }
bool NameChar(char c) { return NameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

Failure Unreadable(std::size_t at, const std::string& why) {
  return Refusal(L"the SVG template cannot be read at byte " + std::to_wstring(at + 1) + L": " + Words(why));
}

class Reader {
 public:
  explicit Reader(std::string_view svg) : svg_(svg) {}

  Result<std::vector<SvgPiece>> Pieces() {
    // A byte-order mark may stand before an XML document.
    if (svg_.starts_with("\xEF\xBB\xBF")) {
      SvgPiece mark;
      mark.kind = SvgPiece::Kind::other;
      mark.end = at_ = 3;
      pieces_.push_back(mark);
    }
    while (at_ < svg_.size()) {
      const std::size_t begin = at_;
      Result<SvgPiece> piece = svg_[at_] == '<' ? Markup() : Text();
      if (!piece) return piece.error();
      piece->at = begin;
      piece->end = at_;
      if (Result<> placed = Place(*piece); !placed) return placed.error();
    }
    if (!open_.empty())
      return Unreadable(svg_.size(), "<" + std::string(pieces_[open_.back()].name) + "> is not closed");
    if (!rooted_) return Refusal(L"the template is not an SVG: it holds no <svg> element");
    return std::move(pieces_);
  }

 private:
  // Where a piece stands in the tree, which must have one root, <svg>.
  Result<> Place(SvgPiece& piece) {
    piece.parent = open_.empty() ? pieces_.size() : open_.back();
    const bool outside = open_.empty();
    if (piece.kind == SvgPiece::Kind::text && outside) {
      for (std::size_t i = piece.at; i < piece.end; ++i)
        if (!Space(svg_[i])) return Unreadable(i, "text outside the <svg> element");
    } else if (piece.kind == SvgPiece::Kind::start) {
      if (outside && rooted_) return Unreadable(piece.at, "a second root element");
      if (outside && piece.name != "svg")
        return Refusal(L"the template is not an SVG: its root element is <" + Words(piece.name) + L">");
      rooted_ = true;
      if (!piece.empty) open_.push_back(pieces_.size());
    } else if (piece.kind == SvgPiece::Kind::end) {
      if (open_.empty() || pieces_[open_.back()].name != piece.name)
        return Unreadable(piece.at, "</" + std::string(piece.name) + "> closes no open element of that name");
      piece.parent = open_.back();
      open_.pop_back();
    }
    pieces_.push_back(std::move(piece));
    return {};
  }

  Result<SvgPiece> Text() {
    SvgPiece piece;
    const std::size_t next = svg_.find('<', at_);
    at_ = next == std::string_view::npos ? svg_.size() : next;
    return piece;
  }

  Result<SvgPiece> Through(std::string_view close, const char* what) {
    const std::size_t found = svg_.find(close, at_);
    if (found == std::string_view::npos) return Unreadable(at_, std::string(what) + " is not closed");
    at_ = found + close.size();
    SvgPiece piece;
    piece.kind = SvgPiece::Kind::other;
    return piece;
  }

  std::string_view Name() {
    const std::size_t begin = at_;
    if (at_ < svg_.size() && NameStart(svg_[at_]))
      while (at_ < svg_.size() && NameChar(svg_[at_])) ++at_;
    return svg_.substr(begin, at_ - begin);
  }

  void SkipSpace() {
    while (at_ < svg_.size() && Space(svg_[at_])) ++at_;
  }

  Result<SvgPiece> Markup() {
    const std::string_view rest = svg_.substr(at_);
    if (rest.starts_with("<!--")) return Through("-->", "a comment");
    if (rest.starts_with("<![CDATA[")) return Through("]]>", "a CDATA section");
    if (rest.starts_with("<?")) return Through("?>", "a processing instruction");
    if (rest.starts_with("<!DOCTYPE")) {
      const std::size_t begin = at_;
      Result<SvgPiece> doctype = Through(">", "the DOCTYPE");
      if (doctype && svg_.substr(begin, at_ - begin).find('[') != std::string_view::npos)
        return Unreadable(begin, "its DOCTYPE declares entities of its own");
      return doctype;
    }
    SvgPiece piece;
    const std::size_t begin = at_++;
    const bool closing = at_ < svg_.size() && svg_[at_] == '/';
    if (closing) ++at_;
    piece.kind = closing ? SvgPiece::Kind::end : SvgPiece::Kind::start;
    piece.name = Name();
    if (piece.name.empty()) return Unreadable(begin, "a '<' that starts no tag (write it &lt;)");
    for (;;) {
      const std::size_t before = at_;
      SkipSpace();
      if (at_ >= svg_.size()) return Unreadable(begin, "a tag is not closed");
      if (svg_[at_] == '>') {
        ++at_;
        return piece;
      }
      if (!closing && svg_.substr(at_).starts_with("/>")) {
        at_ += 2;
        piece.empty = true;
        return piece;
      }
      if (closing || before == at_) return Unreadable(at_, "a tag's attributes cannot be read");
      SvgAttribute attribute;
      attribute.name = Name();
      if (attribute.name.empty()) return Unreadable(at_, "a tag's attributes cannot be read");
      for (const SvgAttribute& other : piece.attributes)
        if (other.name == attribute.name)
          return Unreadable(at_, "the attribute " + std::string(attribute.name) + " is given twice");
      SkipSpace();
      if (at_ >= svg_.size() || svg_[at_] != '=') return Unreadable(at_, "an attribute without a value");
      ++at_;
      SkipSpace();
      if (at_ >= svg_.size() || (svg_[at_] != '"' && svg_[at_] != '\''))
        return Unreadable(at_, "an attribute's value is not quoted");
      const char quote = svg_[at_++];
      const std::size_t close = svg_.find(quote, at_);
      if (close == std::string_view::npos) return Unreadable(at_, "an attribute's value is not closed");
      attribute.valueAt = at_;
      attribute.value = svg_.substr(at_, close - at_);
      if (attribute.value.find('<') != std::string_view::npos)
        return Unreadable(at_, "an attribute's value holds '<' (write it &lt;)");
      at_ = close + 1;
      piece.attributes.push_back(attribute);
    }
  }

  std::string_view svg_;
  std::size_t at_ = 0;
  std::vector<SvgPiece> pieces_;
  std::vector<std::size_t> open_;  // the start tags not yet closed
  bool rooted_ = false;
};

}  // namespace

std::optional<std::string_view> SvgPiece::Attribute(std::string_view wanted) const {
  for (const SvgAttribute& attribute : attributes)
    if (attribute.name == wanted) return attribute.value;
  return std::nullopt;
}

Result<std::vector<SvgPiece>> SvgPieces(std::string_view svg) { return Reader(svg).Pieces(); }
