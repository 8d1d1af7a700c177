#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vendor/result.h"

// The blocks of values a production line hands out: MACs counted as 48-bit
// numbers, SNs counted through the trailing run of digits they share.
namespace ledger {

struct MacRange {
  std::uint64_t first = 0, last = 0;

  // "FIRST-LAST", each MAC typed as the entry takes it (colons and spaces
  // ignored, either case), FIRST <= LAST, and no multicast, all-zero or
  // all-FF address within.
  static Result<MacRange> Parse(std::string_view text);
  std::uint64_t Count() const { return last - first + 1; }
  bool Overlaps(const MacRange& other) const { return first <= other.last && other.first <= last; }
  // Twelve uppercase hexadecimal digits.
  std::string Text(std::uint64_t mac) const;
};

struct SnRange {
  std::string prefix;  // what every SN of the range starts with
  int width = 0;       // the digits counted, prefix.size() + width == 13
  std::uint64_t first = 0, last = 0;

  // "FIRST-LAST", two valid SNs identical but for a trailing run of decimal
  // digits, FIRST <= LAST.
  static Result<SnRange> Parse(std::string_view text);
  std::uint64_t Count() const { return last - first + 1; }
  bool Overlaps(const SnRange& other) const;
  std::string Text(std::uint64_t number) const;
};

}  // namespace ledger
