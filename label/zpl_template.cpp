#include "label/zpl_template.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "label/placeholders.h"
#include "label/zpl_data.h"

namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
  return text;
}

// One command: its prefix (^ or ~), its two-letter name in capitals, and its
// parameters, which run to the next prefix; ^FD's are the field's data.
struct Command {
  std::size_t at = 0, end = 0;
  char prefix = '^';
  std::string name;

  std::size_t ParametersAt() const { return at + 1 + name.size(); }
  bool Is(char wanted, const char* named) const { return prefix == wanted && name == named; }
};

std::vector<Command> Commands(std::string_view zpl) {
  std::vector<Command> commands;
  for (std::size_t at = zpl.find_first_of("^~"); at != std::string_view::npos;) {
    const std::size_t next = zpl.find_first_of("^~", at + 1);
    Command command;
    command.at = at;
    command.end = next == std::string_view::npos ? zpl.size() : next;
    command.prefix = zpl[at];
    for (std::size_t i = at + 1; i < command.end && i < at + 3; ++i)
      command.name += static_cast<char>(zpl[i] >= 'a' && zpl[i] <= 'z' ? zpl[i] - 'a' + 'A' : zpl[i]);
    commands.push_back(command);
    at = next;
  }
  return commands;
}

bool HexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// What is known of the field being read: its ^FH, and whether it is a Code
// 128 or a Data Matrix.
struct Field {
  bool hex = false;               // ^FH given
  std::string_view hexIndicator;  // its parameter, trimmed
  bool code128 = false;
  std::optional<std::string_view> matrix;  // ^BX's parameters
};

std::vector<std::string_view> Split(std::string_view parameters) {
  std::vector<std::string_view> split;
  for (std::size_t at = 0;;) {
    const std::size_t comma = parameters.find(',', at);
    split.push_back(Trimmed(parameters.substr(at, comma - at)));
    if (comma == std::string_view::npos) return split;
    at = comma + 1;
  }
}

// A Data Matrix (^BX) reads its data after ^FH's hex, and at ECC 200 takes
// its escape character (its seventh parameter, ~ unless given) as the start
// of a control sequence: a value holding it would be encoded as something
// else, so it is refused, as is any other ECC, which has escapes of its own.
Result<> FitsMatrix(std::string_view parameters, std::string_view placeholder, const std::string& value) {
  const std::vector<std::string_view> given = Split(parameters);
  if (given.size() < 3 || given[2] != "200")
    return Refusal(L"the template's Data Matrix field of " + Words(placeholder) +
                   L" is not ECC 200 (^BXN,h,200): values go only into ECC 200");
  const char escape = given.size() > 6 && !given[6].empty() ? given[6][0] : '~';
  if (value.find(escape) != std::string::npos)
    return Refusal(
        Words(placeholder) + L" holds " + std::wstring(1, static_cast<wchar_t>(escape)) +
        L", which the template's Data Matrix (^BX) reads as the start of an escape: no label for it");
  return {};
}

Result<char> IndicatorOf(const Field& field, std::string_view placeholder) {
  if (field.hexIndicator.empty()) return '_';
  const std::string_view given = field.hexIndicator;
  const char c = given[0];
  if (given.size() > 1 || c <= ' ' || c > '~' || HexDigit(c) || c == ',' || (field.code128 && c == '>'))
    return Refusal(L"the field of " + Words(placeholder) + L" has ^FH" + Words(given) +
                   L", an indicator its values cannot be written in: use ^FH alone, or one mark such as \\");
  return c;
}

}  // namespace

Result<std::string> FilledZpl(std::string_view zpl, const LabelTexts& texts) {
  if (zpl.starts_with("\xEF\xBB\xBF"))
    return Refusal(
        L"the template begins with a byte-order mark, which a printer prints: save it without one");
  const std::vector<Command> commands = Commands(zpl);
  if (commands.empty() || !Trimmed(zpl.substr(0, commands.front().at)).empty() ||
      !commands.front().Is('^', "XA"))
    return Refusal(L"the template is not a ZPL label: it must begin with ^XA");
  const Command& last = commands.back();
  if (!last.Is('^', "XZ") ||
      !Trimmed(zpl.substr(last.ParametersAt(), last.end - last.ParametersAt())).empty())
    return Refusal(L"the template is not a ZPL label: it must end with ^XZ");
  std::string filled;
  std::size_t copied = 0;
  Field field;
  bool utf8 = false;  // ^CI28 given: field data is UTF-8; else a printer takes a byte for a character
  for (std::size_t i = 0; i < commands.size(); ++i) {
    const Command& command = commands[i];
    const std::string_view parameters =
        zpl.substr(command.ParametersAt(), command.end - command.ParametersAt());
    if (command.name == "CC" || command.name == "CT")
      return Refusal(L"the template changes ZPL's command prefix (" + Words(zpl.substr(command.at, 3)) +
                     L"): a template keeps ^ and ~");
    if (command.Is('^', "FS") || command.Is('^', "XA") || command.Is('^', "XZ")) {
      field = Field();
    } else if (command.Is('^', "FH")) {
      field.hex = true;
      field.hexIndicator = Trimmed(parameters);
    } else if (command.Is('^', "BC")) {
      field.code128 = true;
    } else if (command.Is('^', "BX")) {
      field.matrix = parameters;
    } else if (command.Is('^', "CI")) {
      utf8 = Trimmed(parameters).starts_with("28");
    }
    const std::optional<Placeholder> first = NextPlaceholder(parameters, 0);
    if (!first) continue;
    const std::string_view placeholder = parameters.substr(first->at, first->length);
    if (!command.Is('^', "FD"))
      return Refusal(L"the template has " + Words(placeholder) + L" in " + Words(zpl.substr(command.at, 3)) +
                     L": values are filled in only in a field's data, ^FD up to ^FS");
    if (i + 1 == commands.size() || !commands[i + 1].Is('^', "FS"))
      return Refusal(L"the template's field of " + Words(placeholder) + L" does not end with ^FS");
    const Result<char> indicator = IndicatorOf(field, placeholder);
    if (!indicator) return indicator.error();
    for (std::optional<Placeholder> each = first; !utf8 && each;
         each = NextPlaceholder(parameters, each->at + each->length)) {
      const Result<std::string> value = PlaceholderText(*each, texts);
      if (!value) return value.error();
      if (std::any_of(value->begin(), value->end(),
                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return Refusal(Words(parameters.substr(each->at, each->length)) +
                       L" holds characters beyond ASCII, which a printer shows as others unless the template "
                       L"selects UTF-8 (^CI28) before its field");
    }
    for (std::optional<Placeholder> each = first; field.matrix && each;
         each = NextPlaceholder(parameters, each->at + each->length)) {
      const Result<std::string> value = PlaceholderText(*each, texts);
      if (!value) return value.error();
      if (Result<> fits = FitsMatrix(*field.matrix, parameters.substr(each->at, each->length), *value); !fits)
        return fits.error();
    }
    const bool added = !field.hex;
    const bool code128 = field.code128;
    const char hex = *indicator;
    Result<std::string> data = Filled(
        parameters, texts, [&](const std::string& value) { return ZplData(value, code128, hex); },
        [&](std::string_view own) {
          std::string kept;
          for (const char c : own) kept += added && c == '_' ? std::string("_5F") : std::string(1, c);
          return kept;
        });
    if (!data) return data.error();
    filled.append(zpl.substr(copied, command.at - copied));
    if (added) filled += "^FH";
    filled.append(zpl.substr(command.at, 3));
    filled += *data;
    copied = command.end;
  }
  return filled.append(zpl.substr(copied));
}
