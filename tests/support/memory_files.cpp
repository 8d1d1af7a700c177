#include "tests/support/memory_files.h"

#include <algorithm>

namespace {

Failure Missing() { return SystemFailure(L"No such file or directory"); }

}  // namespace

class MemoryFiles::File final : public ByteFile {
 public:
  explicit File(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  Result<std::uint64_t> Size() override { return bytes_.size(); }
  Result<> Read(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    if (offset + bytes.size() > bytes_.size()) return Failure(Failure::Cause::shortRead);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), bytes.size(), bytes.begin());
    return {};
  }
  Result<> Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    if (offset + bytes.size() > bytes_.size()) bytes_.resize(offset + bytes.size());
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return {};
  }
  Result<> Flush() override { return {}; }

 private:
  std::vector<std::uint8_t>& bytes_;  // a map's element stays where it is
};

std::wstring MemoryFiles::Key(const std::wstring& path) {
  std::wstring key = path;
  std::replace(key.begin(), key.end(), L'\\', L'/');
  while (key.size() > 1 && key.back() == L'/') key.pop_back();
  return key;
}

void MemoryFiles::Put(const std::wstring& path, std::vector<std::uint8_t> bytes) {
  files_[Key(path)] = std::move(bytes);
}

void MemoryFiles::PutFolder(const std::wstring& path) { folders_.insert(Key(path)); }

void MemoryFiles::Hide(const std::wstring& path) { hidden_.insert(Key(path)); }

std::optional<std::vector<std::uint8_t>> MemoryFiles::Bytes(const std::wstring& path) const {
  const auto file = files_.find(Key(path));
  if (file == files_.end()) return std::nullopt;
  return file->second;
}

std::vector<std::wstring> MemoryFiles::Paths() const {
  std::vector<std::wstring> paths;
  for (const auto& file : files_) paths.push_back(file.first);
  return paths;
}

bool MemoryFiles::Exists(const std::wstring& path) {
  looked.push_back(path);
  return files_.count(Key(path)) && !hidden_.count(Key(path));
}

Result<std::uint64_t> MemoryFiles::Length(const std::wstring& path) {
  if (folders_.count(Key(path))) return std::uint64_t{0};
  const auto file = files_.find(Key(path));
  if (file == files_.end()) return Missing();
  return file->second.size();
}

Result<std::unique_ptr<ByteFile>> MemoryFiles::Open(const std::wstring& path, Access) {
  ++opens;
  if (folders_.count(Key(path))) return SystemFailure(L"Is a directory");
  const auto file = files_.find(Key(path));
  if (file == files_.end()) return Missing();
  return std::unique_ptr<ByteFile>(std::make_unique<File>(file->second));
}

Result<std::unique_ptr<ByteFile>> MemoryFiles::Create(const std::wstring& path) {
  if (files_.count(Key(path)) || folders_.count(Key(path)))
    return Failure(Failure::Cause::exists, L"File exists");
  return std::unique_ptr<ByteFile>(std::make_unique<File>(files_[Key(path)]));
}

Result<> MemoryFiles::Publish(const std::wstring& from, const std::wstring& to) {
  const auto file = files_.find(Key(from));
  if (file == files_.end()) return Missing();
  if (files_.count(Key(to))) return Failure(Failure::Cause::exists, L"File exists");
  files_[Key(to)] = std::move(file->second);
  files_.erase(Key(from));
  return {};
}

Result<> MemoryFiles::Replace(const std::wstring& from, const std::wstring& to) {
  const auto file = files_.find(Key(from));
  if (file == files_.end()) return Missing();
  std::vector<std::uint8_t> bytes = std::move(file->second);
  files_.erase(file);
  files_[Key(to)] = std::move(bytes);
  return {};
}

Result<> MemoryFiles::Remove(const std::wstring& path) {
  if (!files_.erase(Key(path))) return Missing();
  return {};
}

Result<std::vector<std::wstring>> MemoryFiles::Names(const std::wstring& folder) {
  const std::wstring prefix = Key(folder) == L"." ? L"" : Key(folder) + L"/";
  std::vector<std::wstring> names;
  for (const auto& [path, bytes] : files_) {
    if (path.compare(0, prefix.size(), prefix) == 0 && path.find(L'/', prefix.size()) == std::wstring::npos)
      names.push_back(path.substr(prefix.size()));
  }
  return names;
}

Result<> MemoryFiles::Append(const std::wstring& path, std::string_view bytes) {
  std::vector<std::uint8_t>& file = files_[Key(path)];
  file.insert(file.end(), bytes.begin(), bytes.end());
  return {};
}
