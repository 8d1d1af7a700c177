#include "ledger/ranges.h"

#include <algorithm>

#include "files/utf8.h"
#include "ledger/refused.h"
#include "vendor/entry.h"

namespace ledger {

namespace {

// The two ends of "FIRST-LAST".
std::optional<std::pair<std::string_view, std::string_view>> Ends(std::string_view text) {
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos || text.find('-', dash + 1) != std::string_view::npos)
    return std::nullopt;
  return std::pair{text.substr(0, dash), text.substr(dash + 1)};
}

std::optional<VendorLayout::MacBytes> MacOf(std::string_view typed) {
  const Entered<MacEdit> mac = EnterMac(Wide(typed));
  if (!mac.edit) return std::nullopt;
  return mac.edit->mac();
}

std::uint64_t Number(const VendorLayout::MacBytes& mac) {
  std::uint64_t number = 0;
  for (std::uint8_t byte : mac) number = number << 8 | byte;
  return number;
}

std::optional<std::string> SnText(std::string_view typed) {
  const Entered<SnEdit> sn = EnterSn(Wide(typed));
  if (!sn.edit) return std::nullopt;
  return std::string(sn.edit->sn().begin(), sn.edit->sn().end());
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

Result<MacRange> MacRange::Parse(std::string_view text) {
  const auto ends = Ends(text);
  const auto first = ends ? MacOf(ends->first) : std::nullopt,
             last = ends ? MacOf(ends->second) : std::nullopt;
  if (!first || !last) return Refused("a MAC range is FIRST-LAST, two MACs of 12 hexadecimal digits each");
  const MacRange range{Number(*first), Number(*last)};
  if (range.first > range.last) return Refused("the MAC range's first address is above its last");
  // Whether an address is multicast is its first byte's; a range over two
  // first bytes holds one whose first byte is odd.
  const std::optional<VendorLayout::MacDoubt> doubt = VendorLayout::DoubtAbout(*first);
  if (doubt == VendorLayout::MacDoubt::allZero) return Refused("the MAC range holds the all-zero address");
  if (doubt || (*first)[0] != (*last)[0]) return Refused("the MAC range holds multicast addresses");
  return range;
}

std::string MacRange::Text(std::uint64_t mac) const {
  VendorLayout::MacBytes bytes{};
  for (auto byte = bytes.rbegin(); byte != bytes.rend(); ++byte, mac >>= 8)
    *byte = static_cast<std::uint8_t>(mac);
  return VendorLayout::HexText(bytes);
}

Result<SnRange> SnRange::Parse(std::string_view text) {
  const auto ends = Ends(text);
  const std::optional<std::string> first = ends ? SnText(ends->first) : std::nullopt;
  const std::optional<std::string> last = ends ? SnText(ends->second) : std::nullopt;
  if (!first || !last) return Refused("an SN range is FIRST-LAST, two SNs of 13 letters or digits each");
  // The counted run: FIRST's trailing digits, which LAST must share in place.
  std::size_t start = first->size();
  while (start > 0 && IsDigit((*first)[start - 1])) --start;
  if (start == first->size() || first->compare(0, start, *last, 0, start) != 0 ||
      !std::all_of(last->begin() + static_cast<std::ptrdiff_t>(start), last->end(), IsDigit)) {
    return Refused("the two SNs of a range must be the same but for a trailing run of digits");
  }
  SnRange range{first->substr(0, start), static_cast<int>(first->size() - start),
                std::stoull(first->substr(start)), std::stoull(last->substr(start))};
  if (range.first > range.last) return Refused("the SN range's first SN is above its last");
  return range;
}

std::string SnRange::Text(std::uint64_t number) const {
  std::string digits = std::to_string(number);
  return prefix + std::string(static_cast<std::size_t>(width) - digits.size(), '0') + digits;
}

bool SnRange::Overlaps(const SnRange& other) const {
  // Seen from the range with the shorter prefix, the other one's extra
  // prefix is digits at the top of its own count, or they share no SN.
  const SnRange& shorter = prefix.size() <= other.prefix.size() ? *this : other;
  const SnRange& longer = &shorter == this ? other : *this;
  if (longer.prefix.compare(0, shorter.prefix.size(), shorter.prefix) != 0) return false;
  const std::string extra = longer.prefix.substr(shorter.prefix.size());
  if (!std::all_of(extra.begin(), extra.end(), IsDigit)) return false;
  std::uint64_t scale = 1;
  for (int i = 0; i < longer.width; ++i) scale *= 10;
  const std::uint64_t base = extra.empty() ? 0 : std::stoull(extra) * scale;
  return shorter.first <= base + longer.last && base + longer.first <= shorter.last;
}

}  // namespace ledger
