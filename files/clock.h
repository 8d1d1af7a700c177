#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// Times as the tool writes them into logs and ledgers: UTC, ISO 8601, to the
// second ("2026-12-09T14:03:07Z"), so that their text sorts as they do.

using Seconds = std::chrono::sys_seconds;

Seconds Now();
std::string IsoTime(Seconds time);
// The time of a text of that form; nothing for any other.
std::optional<Seconds> ParseIsoTime(std::string_view text);
// The day alone: "2026-12-12".
std::string IsoDate(Seconds time);
