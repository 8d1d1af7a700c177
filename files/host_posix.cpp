#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "files/host.h"
#include "files/utf8.h"

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
  return name;
}

std::string MachineId() {
  std::ifstream file("/etc/machine-id");
  std::string id;
  if (file && std::getline(file, id) && !id.empty()) return id;
  return HostName();
}

std::wstring AbsolutePath(const std::wstring& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(Utf8(path), error);
  return error ? path : Wide(absolute.lexically_normal().string());
}

std::optional<std::string> EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return value;
}
