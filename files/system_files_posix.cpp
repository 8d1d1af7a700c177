#include "files/system_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/utf8.h"

namespace {

Failure LastError() { return SystemFailure(Wide(std::strerror(errno))); }

// Moves size bytes with pread or pwrite, however many calls that takes.
template <class Call>
Result<> Transfer(std::size_t size, Failure::Cause shortCause, Call call) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t moved = call(done);
    if (moved < 0 && errno == EINTR) continue;
    if (moved < 0) return LastError();
    if (moved == 0) return Failure(shortCause);
    done += static_cast<std::size_t>(moved);
  }
  return {};
}

class PosixFile final : public ByteFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  // The end's offset: cheaper than fstat, and every read and write here names
  // its own offset, so moving the file's position costs nothing.
  Result<std::uint64_t> Size() override {
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end < 0) return LastError();
    return static_cast<std::uint64_t>(end);
  }

  Result<> Read(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    return Transfer(bytes.size(), Failure::Cause::shortRead, [&](std::size_t done) {
      return ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    });
  }

  Result<> Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    return Transfer(bytes.size(), Failure::Cause::shortWrite, [&](std::size_t done) {
      return ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    });
  }

  Result<> Flush() override {
    if (::fsync(fd_) != 0) return LastError();
    return {};
  }

 private:
  int fd_;
};

}  // namespace

bool SystemFiles::Exists(const std::wstring& path) {
  struct stat info {};
  return ::stat(Utf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

Result<std::uint64_t> SystemFiles::Length(const std::wstring& path) {
  struct stat info {};
  if (::stat(Utf8(path).c_str(), &info) != 0) return LastError();
  return S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size);
}

Result<std::unique_ptr<ByteFile>> SystemFiles::Open(const std::wstring& path, Access access) {
  const bool update = access == Access::update;
  const int fd = ::open(Utf8(path).c_str(), (update ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return LastError();
  auto file = std::make_unique<PosixFile>(fd);
  if (update && ::flock(fd, LOCK_EX | LOCK_NB) != 0) return LastError();
  return std::unique_ptr<ByteFile>(std::move(file));
}

Result<std::unique_ptr<ByteFile>> SystemFiles::Create(const std::wstring& path) {
  const int fd = ::open(Utf8(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EEXIST) return Failure(Failure::Cause::exists, LastError().text);
  if (fd < 0) return LastError();
  return std::unique_ptr<ByteFile>(std::make_unique<PosixFile>(fd));
}

Result<> SystemFiles::Append(const std::wstring& path, std::string_view bytes) {
  // O_APPEND: each write lands whole at the end, whoever else appends.
  const int fd = ::open(Utf8(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return LastError();
  PosixFile file(fd);  // closes it
  Result<> written = Transfer(bytes.size(), Failure::Cause::shortWrite, [&](std::size_t done) {
    return ::write(fd, bytes.data() + done, bytes.size() - done);
  });
  if (!written) return written;
  return file.Flush();
}
