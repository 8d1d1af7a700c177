#pragma once

#include <string>

#include "files/utf8.h"
#include "vendor/result.h"

namespace ledger {

// The ledger's own refusals, worded in UTF-8 as its queries and ranges are.
inline Failure Refused(const std::string& why) { return Refusal(Wide(why)); }

}  // namespace ledger
