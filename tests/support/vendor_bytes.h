#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A vendor file of the given size with a recognisable filler, and the fields
// set from the texts given (MAC as 14 hex digits including the check).
std::vector<std::uint8_t> VendorBytes(const std::string& macWithCheck, const std::string& sn,
                                      const std::string& snCheck, std::size_t size = 65536);
