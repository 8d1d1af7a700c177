#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Where a device's identity sits in its vendor data file, and how its two
// check values are formed. Offsets are 0-based byte offsets.
namespace VendorLayout {

// The length is the only mark of a vendor file: no magic, no checksum.
inline constexpr std::uint64_t kFileSize = 65536;

inline constexpr std::size_t kMacOffset = 0;
inline constexpr std::size_t kMacLength = 6;
inline constexpr std::size_t kMacChkOffset = 6;
inline constexpr std::size_t kSnOffset = 35;
inline constexpr std::size_t kSnLength = 13;
inline constexpr std::size_t kSnChkOffset = 53;
inline constexpr std::size_t kSnChkLength = 3;

// Every field lies within the first kFieldBytes bytes, inside the file's
// first sector: one read serves, and one write is kept whole.
inline constexpr std::size_t kFieldBytes = kSnChkOffset + kSnChkLength;

using MacBytes = std::array<std::uint8_t, kMacLength>;
using SnBytes = std::array<std::uint8_t, kSnLength>;
using SnChkBytes = std::array<std::uint8_t, kSnChkLength>;
using FieldBytes = std::array<std::uint8_t, kFieldBytes>;

// The MAC check byte: the sum of the six MAC bytes, modulo 256.
std::uint8_t MACChk(const MacBytes& mac);

// The SN check text: the sum of the thirteen bytes, each the ANSI code of its
// character, in decimal without leading zeros. Admitted SN characters are
// ASCII, whose codes are the same in every ANSI code page.
std::string SNChk(const SnBytes& sn);

// The SN check as the file keeps it: the leading three digits of SNChk (a
// four-digit sum loses its last digit), or all of them for a shorter sum,
// which no admitted SN has.
std::string StoredSNChk(const SnBytes& sn);

// Bytes as uppercase hexadecimal digits, two a byte ("0A", "FF"); a MAC's
// six bytes give its twelve digits, the first byte first.
std::string HexText(std::span<const std::uint8_t> bytes);

// Twelve uppercase hexadecimal digits as the six MAC bytes, the first two
// digits first; nothing for anything else.
std::optional<MacBytes> MacBytesOf(std::wstring_view twelveDigits);

// Why a MAC that is well formed is still rarely meant for one device.
enum class MacDoubt {
  allZero,    // 000000000000
  broadcast,  // FFFFFFFFFFFF
  multicast,  // the first byte's lowest bit set: an address for a group
};
std::optional<MacDoubt> DoubtAbout(const MacBytes& mac);

}  // namespace VendorLayout
