#include "vendor/backup.h"

#include <vector>

#include "vendor/layout.h"
#include "vendor/temporary_file.h"

namespace {

std::wstring Numbered(const std::wstring& name, int number) {
  return number == 0 ? name : name + L"." + std::to_wstring(number);
}

}  // namespace

Result<std::wstring> Backup(Files& files, ByteFile& source, const std::wstring& path) {
  Result<std::uint64_t> size = source.Size();
  if (!size) return size.error();
  if (*size != VendorLayout::kFileSize) return Failure(Failure::Cause::notVendorFile);
  std::vector<std::uint8_t> bytes(*size);
  if (Result<> read = source.Read(0, bytes); !read) return read.error();

  RemoveLeftovers(files, path);
  Result<TemporaryFile> temporary = CreateTemporary(files, path);
  if (!temporary) return temporary.error();
  Result<> written = temporary->file->Write(0, bytes);
  if (written) written = temporary->file->Flush();
  temporary->file.reset();
  if (!written) {
    (void)files.Remove(temporary->path);  // a part of a copy is no copy
    return written.error();
  }
  for (int number = 0;; ++number) {
    const std::wstring backup = Numbered(path + L".bak", number);
    Result<> published = files.Publish(temporary->path, backup);
    if (published) return backup;
    if (published.error().cause == Failure::Cause::exists) continue;
    (void)files.Remove(temporary->path);
    return published.error();
  }
}

bool IsBackupName(const std::wstring& name) {
  std::wstring stem = name;
  const std::size_t dot = stem.find_last_of(L'.');
  if (dot != std::wstring::npos && dot + 1 < stem.size() &&
      stem.find_first_not_of(L"0123456789", dot + 1) == std::wstring::npos)
    stem.resize(dot);
  return stem.size() > 4 && stem.ends_with(L".bak");
}
