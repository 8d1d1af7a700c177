#include "cli/forecast.h"

#include <cmath>

std::string RunOutText(const ledger::RangeSummary& range, Seconds now) {
  const std::optional<Seconds> out = ledger::RunsOut(range, now);
  if (!out) return "handed out nothing in the last 24 hours";
  const auto seconds = (*out - now).count();
  if (seconds <= 0) return "is used up";
  const double hours = static_cast<double>(seconds) / 3600;
  const std::string in = hours >= 36    ? "about " + std::to_string(std::lround(hours / 24)) + " days"
                         : hours >= 1.5 ? "about " + std::to_string(std::lround(hours)) + " hours"
                                        : "less than 2 hours";
  return "runs out in " + in + ", on " + IsoDate(*out);
}

std::string RangeName(const ledger::RangeSummary& range) {
  return std::string(range.kind == ledger::RangeSummary::Kind::mac ? "MAC " : "SN ") + range.first + "-" +
         range.last;
}

bool RunningLow(const ledger::RangeSummary& range) { return range.left < range.lastDay || range.left < 100; }
