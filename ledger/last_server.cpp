#include "ledger/last_server.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

#include "files/host.h"
#include "files/system_files.h"
#include "files/utf8.h"
#include "ledger/state_folder.h"
#include "vendor/temporary_file.h"

namespace ledger {

namespace {

// The file of a host list in folder: its name from a hash of the list
// (FNV-1a), which the file's first line confirms.
std::string FileOf(const std::string& folder, const std::string& list) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : list) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name = "server-";
  for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(hash >> shift) & 0xF];
  return folder + kSeparator + name;
}

std::optional<std::string> Remembered(const std::string& list) {
  const std::optional<std::string> folder = FolderName();
  if (!folder) return std::nullopt;
  SystemFiles files;
  Result<std::unique_ptr<ByteFile>> file = files.Open(Wide(FileOf(*folder, list)), Access::read);
  Result<std::uint64_t> size = file ? (*file)->Size() : Result<std::uint64_t>(file.error());
  if (!size || *size > 4096) return std::nullopt;
  std::string text(*size, '\0');
  if (!(*file)->Read(0, std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size())))
    return std::nullopt;
  const std::size_t end = text.find('\n');
  if (end == std::string::npos || text.substr(0, end) != list || text.back() != '\n') return std::nullopt;
  return text.substr(end + 1, text.size() - end - 2);
}

}  // namespace

std::vector<ServerHost> TryOrder(const ServerUrl& url) {
  std::vector<ServerHost> order = url.hosts;
  if (order.size() < 2) return order;
  const std::optional<std::string> last = Remembered(HostList(url));
  const auto first = std::find_if(order.begin(), order.end(), [&](const ServerHost& server) {
    return last && HostText(server) == *last;
  });
  if (first != order.end()) std::rotate(order.begin(), first, first + 1);
  return order;
}

void RememberServer(const ServerUrl& url, const ServerHost& server) {
  const std::string list = HostList(url);
  if (url.hosts.size() < 2 || Remembered(list) == HostText(server)) return;
  const std::optional<std::string> folder = StateFolder();
  if (!folder) return;
  const std::string path = FileOf(*folder, list);
  const std::string text = list + "\n" + HostText(server) + "\n";
  SystemFiles files;
  Result<TemporaryFile> temporary = CreateTemporary(files, Wide(path));
  if (!temporary) return;
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  Result<> written = temporary->file->Write(0, bytes);
  if (written) written = temporary->file->Flush();
  temporary->file.reset();  // closed before it is named: Windows renames no open file
  if (written) written = files.Replace(temporary->path, Wide(path));
  if (!written) (void)files.Remove(temporary->path);
}

}  // namespace ledger
