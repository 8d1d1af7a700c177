#include "tests/unit/fake_files.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

#include "files/utf8.h"

std::wstring DiskPath(const std::wstring& path) {
  std::wstring unix = path;
  for (wchar_t& c : unix) {
    if (c == L'\\') c = L'/';
  }
  return unix;
}

std::wstring WidePath(const std::filesystem::path& path) { return Wide(path.string()); }

bool FakeFiles::Exists(const std::wstring& path) {
  looked.push_back(path);
  return disk_.Exists(DiskPath(path)) && !hidden.count(path);
}

Result<std::uint64_t> FakeFiles::Length(const std::wstring& path) { return disk_.Length(DiskPath(path)); }

Result<std::unique_ptr<ByteFile>> FakeFiles::Open(const std::wstring& path, Access access) {
  ++opens;
  if (auto fail = openFails.find(path); fail != openFails.end()) return SystemFailure(fail->second);
  Result<std::unique_ptr<ByteFile>> file = disk_.Open(DiskPath(path), access);
  if (file && wrapFile) *file = wrapFile(std::move(*file));
  return file;
}

Result<std::unique_ptr<ByteFile>> FakeFiles::Create(const std::wstring& path) {
  Result<std::unique_ptr<ByteFile>> file = disk_.Create(DiskPath(path));
  if (file && wrapCreated) *file = wrapCreated(std::move(*file));
  return file;
}

Result<> FakeFiles::Publish(const std::wstring& from, const std::wstring& to) {
  return disk_.Publish(DiskPath(from), DiskPath(to));
}

Result<> FakeFiles::Remove(const std::wstring& path) { return disk_.Remove(DiskPath(path)); }

Result<> FakeFiles::Append(const std::wstring& path, std::string_view bytes) {
  if (appendFails) return SystemFailure(*appendFails);
  return disk_.Append(DiskPath(path), bytes);
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quorvix-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> VendorBytes(const std::string& macWithCheck, const std::string& sn,
                                      const std::string& snCheck, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  for (std::size_t i = 0; i + 1 < macWithCheck.size() && i / 2 < 7; i += 2) {
    bytes[i / 2] = static_cast<std::uint8_t>(std::stoi(macWithCheck.substr(i, 2), nullptr, 16));
  }
  for (std::size_t i = 0; i < sn.size(); ++i) bytes[35 + i] = static_cast<std::uint8_t>(sn[i]);
  for (std::size_t i = 0; i < snCheck.size(); ++i) bytes[53 + i] = static_cast<std::uint8_t>(snCheck[i]);
  return bytes;
}
