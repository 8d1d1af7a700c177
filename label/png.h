#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An 8-bit grayscale PNG of the pixels, row by row (0 black, 255 white),
// compressed with deflate's stored blocks: a label is small, and this needs
// no library.
std::string GrayPng(int width, int height, const std::vector<std::uint8_t>& pixels);
