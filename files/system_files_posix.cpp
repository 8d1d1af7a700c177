#include "files/system_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/utf8.h"

namespace {

Failure LastError() { return SystemFailure(Wide(std::strerror(errno))); }

// Moves size bytes with one call of pread, pwrite or write: anything less
// is a failure, never a second call that would split the bytes.
template <class Call>
Result<> Transfer(std::size_t size, Failure::Cause shortCause, Call call) {
  ssize_t moved = 0;
  do {
    moved = call();
  } while (moved < 0 && errno == EINTR);
  if (moved < 0) return LastError();
  if (static_cast<std::size_t>(moved) != size) return Failure(shortCause);
  return {};
}

// An open file descriptor, closed with the object.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

class PosixFile final : public ByteFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}

  // The end's offset: cheaper than fstat, and every read and write here names
  // its own offset, so moving the file's position costs nothing.
  Result<std::uint64_t> Size() override {
    const off_t end = ::lseek(fd_.get(), 0, SEEK_END);
    if (end < 0) return LastError();
    return static_cast<std::uint64_t>(end);
  }

  Result<> Read(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    return Transfer(bytes.size(), Failure::Cause::shortRead, [&] {
      return ::pread(fd_.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
    });
  }

  Result<> Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    return Transfer(bytes.size(), Failure::Cause::shortWrite, [&] {
      return ::pwrite(fd_.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
    });
  }

  Result<> Flush() override {
    if (::fsync(fd_.get()) != 0) return LastError();
    return {};
  }

 private:
  Descriptor fd_;
};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

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

Result<> SystemFiles::Publish(const std::wstring& from, const std::wstring& to) {
  // link() never replaces a file; the temporary name goes once the new one is there.
  const std::string target = Utf8(to);
  if (::link(Utf8(from).c_str(), target.c_str()) != 0) {
    if (errno == EEXIST) return Failure(Failure::Cause::exists, LastError().text);
    return LastError();
  }
  ::unlink(Utf8(from).c_str());  // should it stay, it names a whole copy
  const Descriptor folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0 || ::fsync(folder.get()) != 0) return LastError();
  return {};
}

Result<> SystemFiles::Replace(const std::wstring& from, const std::wstring& to) {
  const std::string target = Utf8(to);
  if (::rename(Utf8(from).c_str(), target.c_str()) != 0) return LastError();
  const Descriptor folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0 || ::fsync(folder.get()) != 0) return LastError();
  return {};
}

Result<> SystemFiles::Remove(const std::wstring& path) {
  if (::unlink(Utf8(path).c_str()) != 0) return LastError();
  return {};
}

Result<std::vector<std::wstring>> SystemFiles::Names(const std::wstring& folder) {
  const std::unique_ptr<DIR, int (*)(DIR*)> entries(::opendir(Utf8(folder).c_str()), ::closedir);
  if (!entries) return LastError();
  std::vector<std::wstring> names;
  while (const dirent* entry = ::readdir(entries.get())) names.push_back(Wide(entry->d_name));
  return names;
}

Result<> SystemFiles::Append(const std::wstring& path, std::string_view bytes) {
  // O_APPEND: the one write lands whole at the end, whoever else appends.
  const Descriptor fd(::open(Utf8(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
  if (fd.get() < 0) return LastError();
  Result<> written = Transfer(bytes.size(), Failure::Cause::shortWrite,
                              [&] { return ::write(fd.get(), bytes.data(), bytes.size()); });
  if (!written) return written;
  if (::fsync(fd.get()) != 0) return LastError();
  return {};
}
