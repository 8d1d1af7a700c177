#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "vendor/result.h"

// An SVG read as far as a template needs: its tags with their attributes,
// and the text between them, each by its place in the file. Well-formed
// nesting, one root <svg>, and attributes quoted once each are required;
// references are left as written. What it cannot read it refuses, rather
// than guess: a DOCTYPE with its own entities, say.

struct SvgAttribute {
  std::string_view name;
  std::size_t valueAt = 0;  // the value as written, between its quotes
  std::string_view value;
};

struct SvgPiece {
  enum class Kind { text, start, end, other };  // other: a comment, CDATA, <?...?>, DOCTYPE
  Kind kind = Kind::text;
  std::size_t at = 0, end = 0;
  std::string_view name;  // of a start or end tag
  std::vector<SvgAttribute> attributes;
  bool empty = false;      // <name ... />
  std::size_t parent = 0;  // the index of the start tag this piece is in; its own for the root

  std::optional<std::string_view> Attribute(std::string_view wanted) const;
};

Result<std::vector<SvgPiece>> SvgPieces(std::string_view svg);
