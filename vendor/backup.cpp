#include "vendor/backup.h"

#include <random>
#include <vector>

#include "vendor/layout.h"

namespace {

constexpr wchar_t kTemporarySuffix[] = L".tmp";
constexpr std::size_t kRandomDigits = 8;

std::wstring Numbered(const std::wstring& name, int number) {
  return number == 0 ? name : name + L"." + std::to_wstring(number);
}

// Where a path's file name begins: after its last separator, either kind.
std::size_t NameStart(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"/\\");
  return separator == std::wstring::npos ? 0 : separator + 1;
}

// Removes what earlier, killed backups of this file left. Only a run that
// holds the file for update makes a backup, so none of these is in use.
void RemoveLeftovers(Files& files, const std::wstring& folder, const std::wstring& name) {
  Result<std::vector<std::wstring>> names = files.Names(folder.empty() ? L"." : folder);
  if (!names) return;  // a backup can still be made; only the litter stays
  for (const std::wstring& candidate : *names) {
    if (IsTemporaryBackupName(candidate, name)) (void)files.Remove(folder + candidate);
  }
}

// Writes the bytes into a new file under a temporary name beside the file.
Result<std::wstring> WriteTemporary(Files& files, const std::wstring& folder, const std::wstring& name,
                                    const std::vector<std::uint8_t>& bytes) {
  std::random_device random;
  for (;;) {
    const std::wstring temporary = folder + TemporaryBackupName(name, random());
    Result<std::unique_ptr<ByteFile>> made = files.Create(temporary);
    if (!made && made.error().cause == Failure::Cause::exists) continue;
    if (!made) return made.error();
    Result<> written = (*made)->Write(0, bytes);
    if (written) written = (*made)->Flush();
    if (written) return temporary;
    made->reset();
    (void)files.Remove(temporary);  // a part of a copy is no copy
    return written.error();
  }
}

}  // namespace

std::wstring TemporaryBackupName(const std::wstring& name, std::uint32_t random) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring digits(kRandomDigits, L'0');
  for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit, random >>= 4)
    *digit = kDigits[random & 0xF];
  return L"." + name + L"." + digits + kTemporarySuffix;
}

bool IsTemporaryBackupName(const std::wstring& candidate, const std::wstring& name) {
  const std::wstring prefix = L"." + name + L".";
  const std::size_t length = prefix.size() + kRandomDigits + std::size(kTemporarySuffix) - 1;
  if (candidate.size() != length || candidate.compare(0, prefix.size(), prefix) != 0 ||
      candidate.compare(prefix.size() + kRandomDigits, std::wstring::npos, kTemporarySuffix) != 0) {
    return false;
  }
  const std::wstring digits = candidate.substr(prefix.size(), kRandomDigits);
  return digits.find_first_not_of(L"0123456789abcdef") == std::wstring::npos;
}

Result<std::wstring> Backup(Files& files, ByteFile& source, const std::wstring& path) {
  Result<std::uint64_t> size = source.Size();
  if (!size) return size.error();
  if (*size != VendorLayout::kFileSize) return Failure(Failure::Cause::notVendorFile);
  std::vector<std::uint8_t> bytes(*size);
  if (Result<> read = source.Read(0, bytes); !read) return read.error();

  const std::wstring folder = path.substr(0, NameStart(path)), name = path.substr(NameStart(path));
  RemoveLeftovers(files, folder, name);
  Result<std::wstring> temporary = WriteTemporary(files, folder, name, bytes);
  if (!temporary) return temporary;
  for (int number = 0;; ++number) {
    const std::wstring backup = Numbered(path + L".bak", number);
    Result<> published = files.Publish(*temporary, backup);
    if (published) return backup;
    if (published.error().cause == Failure::Cause::exists) continue;
    (void)files.Remove(*temporary);
    return published.error();
  }
}
