#pragma once

#include <string>

#include "files/clock.h"
#include "ledger/ledger.h"

// When a range runs out at its last 24 hours' pace, in words: "runs out in
// about 3 days, on 2026-12-12", "runs out in more than 100 years", "is used
// up", "handed out nothing in the last 24 hours".
std::string RunOutText(const ledger::RangeSummary& range, Seconds now);

// "MAC 001132000000-0011320003FF" or "SN QVX2612000001-QVX2612009999".
std::string RangeName(const ledger::RangeSummary& range);

// Whether a range may run out within a day: fewer values left than the last
// 24 hours handed out, or fewer than 100.
bool RunningLow(const ledger::RangeSummary& range);
