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
  // Digit for digit, as IsoTime writes it: the ledger compares its times as
  // text, so "2026-1-9T1:2:3Z" would filter wrong.
  constexpr std::string_view kShape = "####-##-##T##:##:##Z";
  if (text.size() != kShape.size()) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '#' ? !digit : text[i] != kShape[i]) return std::nullopt;
  }
  const auto number = [&](std::size_t at, std::size_t digits) {
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  const int y = number(0, 4), mo = number(5, 2), d = number(8, 2), h = number(11, 2), mi = number(14, 2),
            s = number(17, 2);
  const year_month_day date{year(y), month(static_cast<unsigned>(mo)), day(static_cast<unsigned>(d))};
  if (!date.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
  return sys_days(date) + hours(h) + minutes(mi) + seconds(s);
}
