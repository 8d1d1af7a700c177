#include "cli/csv.h"

std::string CsvField(std::string_view text) {
  constexpr std::string_view kFormulaStarts("=+-@\t\r\0", 7);
  std::string field;
  if (!text.empty() && kFormulaStarts.find(text.front()) != std::string_view::npos) field = "'";
  field += text;
  if (field.find_first_of(",;\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (const char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}
