#include "cli/json.h"

#include <algorithm>

namespace {

std::string Dumped(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace

std::string JsonLine(const Json& json) { return Dumped(json) + "\n"; }

std::string JsonText(const std::string& text) {
  const bool plain = std::all_of(text.begin(), text.end(),
                                 [](char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; });
  if (plain) return '"' + text + '"';
  return Dumped(Json(text));
}
