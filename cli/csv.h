#pragma once

#include <string>
#include <string_view>

// A CSV field (RFC 4180) that a spreadsheet shows as the text it is. A cell
// that begins with =, +, -, @, a tab, CR or NUL would be run as a formula
// (a station's name, or an SN read from a device's file, can be anything):
// it gets a leading ', as OWASP advises. A field is quoted, its quotes
// doubled, where it holds a comma, a semicolon (the separator in locales
// whose decimal mark is a comma), a quote or a line break.
std::string CsvField(std::string_view text);
