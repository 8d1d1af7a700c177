#include "label/placeholders.h"

namespace {

constexpr std::size_t kLongest = 32;

bool Letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool NamePart(char c) {
  return Letter(c) || (c >= '0' && c <= '9') || c == '_' || c == '.' || c == ':' || c == '-';
}

}  // namespace

std::optional<Placeholder> NextPlaceholder(std::string_view text, std::size_t from) {
  for (std::size_t at = text.find('{', from); at != std::string_view::npos; at = text.find('{', at + 1)) {
    std::size_t end = at + 1;
    if (end >= text.size() || !Letter(text[end])) continue;
    while (end < text.size() && end - at < kLongest && NamePart(text[end])) ++end;
    if (end < text.size() && text[end] == '}')
      return Placeholder{at, end + 1 - at, text.substr(at + 1, end - at - 1)};
  }
  return std::nullopt;
}

Result<std::string> PlaceholderText(const Placeholder& placeholder, const LabelTexts& texts) {
  const std::string_view name = placeholder.name;
  if (name == "mac") return texts.mac;
  if (name == "mac:colons") return texts.macColons;
  if (name == "mac:dashes") return texts.macDashes;
  if (name == "sn") return texts.sn;
  if (name == "time") return texts.time;
  if (name == "station") return texts.station;
  return Refusal(L"the template names an unknown value, {" + Words(name) +
                 L"}: it knows {mac}, {mac:colons}, {mac:dashes}, {sn}, {time} and {station}");
}

Result<std::string> Filled(std::string_view text, const LabelTexts& texts,
                           const std::function<std::string(const std::string&)>& value,
                           const std::function<std::string(std::string_view)>& own) {
  std::string filled;
  std::size_t copied = 0;
  for (std::optional<Placeholder> found = NextPlaceholder(text, 0); found;
       found = NextPlaceholder(text, copied)) {
    const Result<std::string> named = PlaceholderText(*found, texts);
    if (!named) return named.error();
    filled += own(text.substr(copied, found->at - copied)) + value(*named);
    copied = found->at + found->length;
  }
  return filled + own(text.substr(copied));
}
