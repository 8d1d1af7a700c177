#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// The tool's JSON: objects with their keys in the order they were set, each
// written as one line (JSON Lines), text that is not UTF-8 replaced.
using Json = nlohmann::ordered_json;

std::string JsonLine(const Json& json);
// The same without the line's end, to go into a line.
std::string JsonValue(const Json& json);

// A text as a JSON string, for the lines written field by field; text with
// nothing to escape goes out as it is, which keeps a check of ten thousand
// files cheap.
std::string JsonText(const std::string& text);
// A text that may be unknown: null then.
Json OrNull(const std::optional<std::string>& value);
