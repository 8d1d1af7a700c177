#include "ledger/state_folder.h"

#include <filesystem>
#include <system_error>

#include "files/host.h"
#include "files/utf8.h"

namespace ledger {

namespace {

std::filesystem::path FolderPath(const std::string& utf8) {
#ifdef _WIN32
  return std::filesystem::path(Wide(utf8));
#else
  return std::filesystem::path(utf8);  // bytes as they are
#endif
}

}  // namespace

std::optional<std::string> FolderName() {
#ifdef _WIN32
  const std::optional<std::string> base = EnvironmentVariable("LOCALAPPDATA");
  if (!base || base->empty()) return std::nullopt;
  return *base + "\\Quorvix";
#else
  std::optional<std::string> base = EnvironmentVariable("XDG_STATE_HOME");
  // The XDG rule: a relative path is to be ignored.
  if (!base || base->empty() || base->front() != '/') {
    const std::optional<std::string> home = EnvironmentVariable("HOME");
    if (!home || home->empty()) return std::nullopt;
    base = *home + "/.local/state";
  }
  return *base + "/quorvix";
#endif
}

std::optional<std::string> StateFolder() {
  const std::optional<std::string> folder = FolderName();
  if (!folder) return std::nullopt;
  std::error_code error;
  std::filesystem::create_directories(FolderPath(*folder), error);
  if (error || !std::filesystem::is_directory(FolderPath(*folder), error)) return std::nullopt;
  return folder;
}

}  // namespace ledger
