#include "files/clock.h"

#include <cstdio>

using namespace std::chrono;

Seconds Now() { return time_point_cast<seconds>(system_clock::now()); }

std::string IsoTime(Seconds time) {
  const sys_days day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss clock(time - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::string IsoDate(Seconds time) { return IsoTime(time).substr(0, 10); }

std::optional<Seconds> ParseIsoTime(std::string_view text) {
  // Digit for digit: scanf's fields alone would take "2026-1-9T1:2:3Z" or a sign,
  // and the ledger compares its times as text.
  constexpr std::string_view kShape = "####-##-##T##:##:##Z";
  if (text.size() != kShape.size()) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '#' ? !digit : text[i] != kShape[i]) return std::nullopt;
  }
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ", &y, &mo, &d, &h, &mi, &s) != 6)
    return std::nullopt;
  const year_month_day date{year(y), month(static_cast<unsigned>(mo)), day(static_cast<unsigned>(d))};
  if (!date.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
  return sys_days(date) + hours(h) + minutes(mi) + seconds(s);
}
