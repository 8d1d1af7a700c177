#include "label/png.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

std::uint32_t Crc32(std::string_view bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> made{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      made[n] = c;
    }
    return made;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::uint32_t Adler32(std::string_view bytes) {
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : bytes) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

void BigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
}

void Chunk(std::string& out, std::string_view type, std::string_view data) {
  BigEndian(out, static_cast<std::uint32_t>(data.size()));
  std::string typed(type);
  typed += data;
  out += typed;
  BigEndian(out, Crc32(typed));
}

// A zlib stream of stored blocks, each at most 65,535 bytes.
std::string Stored(std::string_view raw) {
  std::string out("\x78\x01", 2);
  std::size_t at = 0;
  do {
    const std::size_t length = std::min<std::size_t>(raw.size() - at, 65535);
    const bool last = at + length == raw.size();
    out += static_cast<char>(last ? 1 : 0);
    out += static_cast<char>(length & 0xFF);
    out += static_cast<char>(length >> 8);
    out += static_cast<char>(~length & 0xFF);
    out += static_cast<char>(~length >> 8 & 0xFF);
    out.append(raw.substr(at, length));
    at += length;
  } while (at < raw.size());
  BigEndian(out, Adler32(raw));
  return out;
}

}  // namespace

std::string GrayPng(int width, int height, const std::vector<std::uint8_t>& pixels) {
  std::string header;
  BigEndian(header, static_cast<std::uint32_t>(width));
  BigEndian(header, static_cast<std::uint32_t>(height));
  header += std::string("\x08\x00\x00\x00\x00", 5);  // 8 bits, grayscale, deflate, no filter, no interlace
  std::string raw;
  raw.reserve(static_cast<std::size_t>(width + 1) * height);
  for (int y = 0; y < height; ++y) {
    raw += '\0';  // the row unfiltered
    raw.append(reinterpret_cast<const char*>(pixels.data()) + static_cast<std::size_t>(y) * width, width);
  }
  std::string png("\x89PNG\r\n\x1a\n", 8);
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", Stored(raw));
  Chunk(png, "IEND", "");
  return png;
}
