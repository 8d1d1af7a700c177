#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "label/values.h"
#include "vendor/result.h"

// A template's placeholders: '{', a name of at most 31 characters (a letter,
// then letters, digits, '_', '.', ':' or '-') and '}'. Only {mac},
// {mac:colons}, {mac:dashes}, {sn}, {time} and {station} are known; any other
// name of that shape is refused, so that a misspelt one is never printed as
// it stands. Every other brace is the template's own text: "{", "{ }",
// "{0x1F}", "{fill: #000}" name no value.
struct Placeholder {
  std::size_t at = 0, length = 0;
  std::string_view name;
};

// The first placeholder at or after from.
std::optional<Placeholder> NextPlaceholder(std::string_view text, std::size_t from);

// The text a placeholder stands for; refused, naming it, when unknown.
Result<std::string> PlaceholderText(const Placeholder& placeholder, const LabelTexts& texts);

// The text with each placeholder replaced by its value, written by value;
// the template's own text between them by own.
Result<std::string> Filled(std::string_view text, const LabelTexts& texts,
                           const std::function<std::string(const std::string&)>& value,
                           const std::function<std::string(std::string_view)>& own);
