#include "vendor/backup.h"

#include <vector>

#include "vendor/layout.h"

namespace {

std::wstring Numbered(const std::wstring& name, int number) {
  return number == 0 ? name : name + L"." + std::to_wstring(number);
}

// Writes the bytes into a new file named after base, the first number free.
Result<std::wstring> WriteNew(Files& files, const std::wstring& base,
                              const std::vector<std::uint8_t>& bytes) {
  for (int number = 0;; ++number) {
    const std::wstring name = Numbered(base, number);
    Result<std::unique_ptr<ByteFile>> made = files.Create(name);
    if (!made && made.error().cause == Failure::Cause::exists) continue;
    if (!made) return made.error();
    Result<> written = (*made)->Write(0, bytes);
    if (written) written = (*made)->Flush();
    if (written) return name;
    made->reset();
    (void)files.Remove(name);  // a part of a copy is no copy
    return written.error();
  }
}

}  // namespace

Result<std::wstring> Backup(Files& files, const std::wstring& path) {
  Result<std::unique_ptr<ByteFile>> file = files.Open(path, Access::read);
  if (!file) return file.error();
  Result<std::uint64_t> size = (*file)->Size();
  if (!size) return size.error();
  if (*size != VendorLayout::kFileSize) return Failure(Failure::Cause::notVendorFile);
  std::vector<std::uint8_t> bytes(*size);
  if (Result<> read = (*file)->Read(0, bytes); !read) return read.error();

  Result<std::wstring> temporary = WriteNew(files, path + L".bak.partial", bytes);
  if (!temporary) return temporary;
  for (int number = 0;; ++number) {
    const std::wstring name = Numbered(path + L".bak", number);
    Result<> published = files.Publish(*temporary, name);
    if (published) return name;
    if (published.error().cause == Failure::Cause::exists) continue;
    (void)files.Remove(*temporary);
    return published.error();
  }
}
