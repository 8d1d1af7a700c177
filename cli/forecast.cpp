#include "cli/forecast.h"

#include <cstdint>

std::string RunOutText(const ledger::RangeSummary& range, Seconds now) {
  const std::optional<Seconds> out = ledger::RunsOut(range, now);
  if (!out) return "handed out nothing in the last 24 hours";
  const std::int64_t seconds = (*out - now).count();
  if (seconds <= 0) return "is used up";
  if (seconds >= std::int64_t{36525} * 86400) return "runs out in more than 100 years";
  // Rounded to the nearest whole day or hour.
  const std::string in = seconds >= 36 * 3600 ? "about " + std::to_string((seconds + 43200) / 86400) + " days"
                         : seconds >= 90 * 60 ? "about " + std::to_string((seconds + 1800) / 3600) + " hours"
                                              : "less than 2 hours";
  return "runs out in " + in + ", on " + IsoDate(*out);
}

std::string RangeName(const ledger::RangeSummary& range) {
  return std::string(range.kind == ledger::RangeSummary::Kind::mac ? "MAC " : "SN ") + range.first + "-" +
         range.last;
}

bool RunningLow(const ledger::RangeSummary& range) { return range.left < range.lastDay || range.left < 100; }
