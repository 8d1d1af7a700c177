#include "label/values.h"

#include <cstdio>

namespace {

std::string Grouped(const std::string& hex, char separator) {
  std::string grouped;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    if (i) grouped += separator;
    grouped += hex.substr(i, 2);
  }
  return grouped;
}

bool HasControl(const std::string& text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

}  // namespace

std::wstring Words(std::string_view text) {
  std::wstring words;
  for (const char c : text)
    words += static_cast<unsigned char>(c) < 0x80 ? static_cast<wchar_t>(c) : L'\uFFFD';
  return words;
}

Result<LabelTexts> TextsOf(const LabelValues& values) {
  LabelTexts texts;
  texts.mac = VendorLayout::HexText(values.mac);
  texts.macColons = Grouped(texts.mac, ':');
  texts.macDashes = Grouped(texts.mac, '-');
  for (std::size_t i = 0; i < values.sn.size(); ++i) {
    if (values.sn[i] < 0x20 || values.sn[i] > 0x7E) {
      char where[96];
      std::snprintf(where, sizeof where, "the SN's byte %zu is 0x%02X: a label holds only printable ASCII",
                    i + 1, values.sn[i]);
      return Refusal(Words(where));
    }
    texts.sn += static_cast<char>(values.sn[i]);
  }
  texts.matrix = "MAC:" + texts.mac + ";SN:" + texts.sn;
  if (HasControl(values.time)) return Refusal(L"the label's time holds a control character");
  if (HasControl(values.station)) return Refusal(L"the station's name holds a control character");
  texts.time = values.time;
  texts.station = values.station;
  return texts;
}
