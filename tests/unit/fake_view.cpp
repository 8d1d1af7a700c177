#include "tests/unit/fake_view.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

namespace {

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (wchar_t wc : text) {
    auto c = static_cast<std::uint32_t>(wc);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::wstring SystemWords(int error) {
  const char* text = std::strerror(error);
  return std::wstring(text, text + std::strlen(text));
}

class DiskFile : public ByteFile {
 public:
  explicit DiskFile(int fd) : fd_(fd) {}
  ~DiskFile() override { ::close(fd_); }

  Failure Size(std::uint64_t& bytes) override {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return SystemWords(errno);
    bytes = static_cast<std::uint64_t>(info.st_size);
    return std::nullopt;
  }
  Failure Read(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    const ssize_t got = ::pread(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (got < 0) return SystemWords(errno);
    if (static_cast<std::size_t>(got) != bytes.size()) return std::wstring(L"short read");
    return std::nullopt;
  }
  Failure Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    const ssize_t put = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (put < 0) return SystemWords(errno);
    if (static_cast<std::size_t>(put) != bytes.size()) return std::wstring(L"short write");
    return std::nullopt;
  }
  Failure Flush() override {
    if (::fsync(fd_) != 0) return SystemWords(errno);
    return std::nullopt;
  }

 private:
  int fd_;
};

}  // namespace

std::filesystem::path DiskPath(const std::wstring& path) {
  std::wstring unix = path;
  for (wchar_t& c : unix) {
    if (c == L'\\') c = L'/';
  }
  return std::filesystem::path(Utf8(unix));
}

std::wstring WidePath(const std::filesystem::path& path) {
  std::wstring wide;
  const std::string utf8 = path.string();
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    std::uint32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    wide += static_cast<wchar_t>(c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return wide;
}

BoxAnswer FakeView::ShowMessage(const std::wstring& text, BoxStyle style, const std::wstring* title) {
  boxes.push_back({text, style, title ? std::optional<std::wstring>(*title) : std::nullopt});
  if (style != BoxStyle::yesNoQuestion) return BoxAnswer::ok;
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question box";
    return BoxAnswer::no;
  }
  BoxAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::wstring FakeView::AskText(const std::wstring& prompt, const std::wstring& title,
                               const std::wstring& defaultText) {
  asked.push_back({prompt, title, defaultText});
  if (typed.empty()) {
    ADD_FAILURE() << "unexpected input box";
    return {};
  }
  std::wstring text = typed.front();
  typed.pop_front();
  return text;
}

bool FakeView::FileExists(const std::wstring& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(DiskPath(path), error) && !hidden.count(path);
}

Length FakeView::FileLength(const std::wstring& path) {
  struct stat info {};
  if (::stat(DiskPath(path).c_str(), &info) != 0) return {0, SystemWords(errno)};
  return {S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size), std::nullopt};
}

Opened FakeView::Open(const std::wstring& path, Access access) {
  ++opens;
  if (auto fail = openFails.find(path); fail != openFails.end()) return {nullptr, fail->second};
  const int fd = ::open(DiskPath(path).c_str(), access == Access::read ? O_RDONLY : O_RDWR);
  if (fd < 0) return {nullptr, SystemWords(errno)};
  std::unique_ptr<ByteFile> file = std::make_unique<DiskFile>(fd);
  if (wrapFile) file = wrapFile(std::move(file));
  return {std::move(file), std::nullopt};
}

std::optional<wchar_t> FakeView::ByteToChar(std::uint8_t byte) {
  if (leadBytes.count(byte)) return std::nullopt;
  return static_cast<wchar_t>(byte);  // Latin-1 stands in for the ANSI code page
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
