#include "cli/json.h"

#include <algorithm>

std::string JsonValue(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string JsonLine(const Json& json) { return JsonValue(json) + "\n"; }

std::string JsonText(const std::string& text) {
  const bool plain = std::all_of(text.begin(), text.end(),
                                 [](char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; });
  if (plain) return '"' + text + '"';
  return JsonValue(Json(text));
}

Json OrNull(const std::optional<std::string>& value) { return value ? Json(*value) : Json(nullptr); }
