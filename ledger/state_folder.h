#pragma once

#include <optional>
#include <string>

namespace ledger {

// What a station keeps for itself: this user's state folder,
// $XDG_STATE_HOME/quorvix, else ~/.local/state/quorvix; %LOCALAPPDATA%\Quorvix
// on Windows.

// Where the folder is, or would be; nothing where there is none to be had.
std::optional<std::string> FolderName();
// The folder, made when missing; nothing when there is none to be had.
std::optional<std::string> StateFolder();

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

}  // namespace ledger
