#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
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

// Every shown field lies within the first kShownBytes bytes, so one read serves.
inline constexpr std::size_t kShownBytes = kSnChkOffset + kSnChkLength;

using MacBytes = std::array<std::uint8_t, kMacLength>;
using SnBytes = std::array<std::uint8_t, kSnLength>;
using SnChkBytes = std::array<std::uint8_t, kSnChkLength>;

// The MAC check byte: the sum of the six MAC bytes, modulo 256.
std::uint8_t MACChk(const MacBytes& mac);

// A byte as exactly two uppercase hexadecimal digits ("0A", "FF").
std::wstring HexByte(std::uint8_t value);

// Two uppercase hexadecimal digits as a byte; nothing for anything else.
std::optional<std::uint8_t> HexByteValue(std::wstring_view twoDigits);

// Twelve uppercase hexadecimal digits as the six MAC bytes, the first two
// digits first; nothing for anything else.
std::optional<MacBytes> MacBytesOf(std::wstring_view twelveDigits);

// The SN check text: the sum of the characters' codes in decimal, no leading
// zeros. Admitted SN characters are ASCII, whose code is the same in every
// ANSI code page. A four-digit sum keeps its leading three digits in the file.
std::wstring SNChk(std::wstring_view sn);
// The same for SN bytes as a file stores them: each byte is the ANSI code of
// its character.
std::wstring SNChk(const SnBytes& sn);

}  // namespace VendorLayout
