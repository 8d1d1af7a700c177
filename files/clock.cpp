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
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, read = 0;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &y, &mo, &d, &h, &mi, &s, &read) != 6 ||
      read != static_cast<int>(copy.size()))
    return std::nullopt;
  const year_month_day date{year(y), month(static_cast<unsigned>(mo)), day(static_cast<unsigned>(d))};
  if (!date.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
  return sys_days(date) + hours(h) + minutes(mi) + seconds(s);
}
