#include "vendor/temporary_file.h"

#include <cstdint>
#include <random>

namespace {

constexpr wchar_t kSuffix[] = L".tmp";
constexpr std::size_t kRandomDigits = 8;

// Where a path's file name begins: after its last separator, either kind.
std::size_t NameStart(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"/\\");
  return separator == std::wstring::npos ? 0 : separator + 1;
}

std::wstring TemporaryName(const std::wstring& name, std::uint32_t random) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring digits(kRandomDigits, L'0');
  for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit, random >>= 4)
    *digit = kDigits[random & 0xF];
  return L"." + name + L"." + digits + kSuffix;
}

}  // namespace

bool IsTemporaryName(const std::wstring& candidate, const std::wstring& name) {
  const std::wstring prefix = L"." + name + L".";
  const std::size_t length = prefix.size() + kRandomDigits + std::size(kSuffix) - 1;
  if (candidate.size() != length || candidate.compare(0, prefix.size(), prefix) != 0 ||
      candidate.compare(prefix.size() + kRandomDigits, std::wstring::npos, kSuffix) != 0) {
    return false;
  }
  return candidate.substr(prefix.size(), kRandomDigits).find_first_not_of(L"0123456789abcdef") ==
         std::wstring::npos;
}

bool IsTemporaryName(const std::wstring& candidate) {
  // The dot before the name, and the one before the random part.
  const std::size_t around = 2 + kRandomDigits + std::size(kSuffix) - 1;
  return candidate.size() > around &&
         IsTemporaryName(candidate, candidate.substr(1, candidate.size() - around));
}

Result<TemporaryFile> CreateTemporary(Files& files, const std::wstring& path) {
  const std::wstring folder = path.substr(0, NameStart(path)), name = path.substr(NameStart(path));
  std::random_device random;
  for (;;) {
    const std::wstring temporary = folder + TemporaryName(name, random());
    Result<std::unique_ptr<ByteFile>> made = files.Create(temporary);
    if (!made && made.error().cause == Failure::Cause::exists) continue;
    if (!made) return made.error();
    return TemporaryFile{std::move(*made), temporary};
  }
}

void RemoveLeftovers(Files& files, const std::wstring& path) {
  const std::wstring folder = path.substr(0, NameStart(path)), name = path.substr(NameStart(path));
  Result<std::vector<std::wstring>> names = files.Names(folder.empty() ? L"." : folder);
  if (!names) return;  // only the litter stays
  for (const std::wstring& candidate : *names) {
    if (IsTemporaryName(candidate, name)) (void)files.Remove(folder + candidate);
  }
}
