#include "printer/host_status.h"

#include <vector>

#include "files/utf8.h"

namespace {

constexpr char kStart = '\x02', kEnd = '\x03';

// The strings between STX and ETX, in order; what follows the last ETX is not one.
std::vector<std::string_view> Strings(std::string_view reply) {
  std::vector<std::string_view> strings;
  for (std::size_t at = reply.find(kStart); at != std::string_view::npos; at = reply.find(kStart, at)) {
    const std::size_t end = reply.find(kEnd, at + 1);
    if (end == std::string_view::npos) break;
    strings.push_back(reply.substr(at + 1, end - at - 1));
    at = end + 1;
  }
  return strings;
}

std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    fields.push_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

struct Flag {
  std::size_t string, field;
  const char* reason;
};

// Where the flags that stop a label sit: the first string's paper out and
// pause, the second's head up and ribbon out.
constexpr Flag kStops[] = {
    {0, 1, "paper out"},
    {0, 2, "paused"},
    {1, 2, "head open"},
    {1, 3, "ribbon out"},
};

// The fields each of the first two strings holds.
constexpr std::size_t kFieldsIn[] = {12, 11};

}  // namespace

bool HostStatusComplete(std::string_view reply) { return Strings(reply).size() >= 3; }

Result<> ReadyToPrint(std::string_view reply) {
  const std::vector<std::string_view> strings = Strings(reply);
  std::vector<std::vector<std::string_view>> fields;
  for (std::size_t i = 0; i < 2 && i < strings.size(); ++i) fields.push_back(Fields(strings[i]));
  if (strings.size() < 3 || fields[0].size() < kFieldsIn[0] || fields[1].size() < kFieldsIn[1])
    return Refusal(L"the printer's answer to ~HS is not a host status of three strings");
  std::wstring reasons;
  for (const Flag& stop : kStops) {
    const std::string_view flag = fields[stop.string][stop.field];
    if (flag != "0" && flag != "1")
      return Refusal(L"the printer's answer to ~HS is not a host status: a flag reads \"" +
                     Wide(flag.substr(0, 16)) + L"\"");
    if (flag == "1") {
      if (!reasons.empty()) reasons += L", ";
      reasons += std::wstring(stop.reason, stop.reason + std::char_traits<char>::length(stop.reason));
    }
  }
  if (!reasons.empty()) return Refusal(L"the printer is not ready: " + reasons + L"; no label was sent");
  return {};
}
