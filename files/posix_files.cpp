#include "files/posix_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/utf8.h"

namespace {

Failure LastError() { return SystemFailure(Wide(std::strerror(errno))); }

class PosixFile final : public ByteFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  Result<std::uint64_t> Size() override {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return LastError();
    return static_cast<std::uint64_t>(info.st_size);
  }

  Result<> Read(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t got =
          ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return LastError();
      if (got == 0) return Failure{Failure::Cause::shortRead};
      done += static_cast<std::size_t>(got);
    }
    return {};
  }

  Result<> Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t put =
          ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return LastError();
      if (put == 0) return Failure{Failure::Cause::shortWrite};
      done += static_cast<std::size_t>(put);
    }
    return {};
  }

  Result<> Flush() override {
    if (::fsync(fd_) != 0) return LastError();
    return {};
  }

 private:
  int fd_;
};

}  // namespace

bool PosixFiles::Exists(const std::wstring& path) {
  struct stat info {};
  return ::stat(Utf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

Result<std::uint64_t> PosixFiles::Length(const std::wstring& path) {
  struct stat info {};
  if (::stat(Utf8(path).c_str(), &info) != 0) return LastError();
  return S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size);
}

Result<std::unique_ptr<ByteFile>> PosixFiles::Open(const std::wstring& path, Access access) {
  const bool update = access == Access::update;
  const int fd = ::open(Utf8(path).c_str(), (update ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return LastError();
  auto file = std::make_unique<PosixFile>(fd);
  if (update && ::flock(fd, LOCK_EX | LOCK_NB) != 0) return LastError();
  return std::unique_ptr<ByteFile>(std::move(file));
}
