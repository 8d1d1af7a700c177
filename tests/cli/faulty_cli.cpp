// quorvix-cli with a fault in the vendor file's writes, for the tests only:
//
//     QUORVIX_FAULT=write:N   the N-th write (from 1) puts out half its bytes
//                             and fails
//     QUORVIX_FAULT=gone:N    from the N-th write on, the device is gone:
//                             every write, flush and read fails
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/tool.h"
#include "files/system_files.h"

namespace {

class FaultyFiles final : public Files {
 public:
  FaultyFiles(Files& real, std::string fault) : real_(real) {
    const std::size_t colon = fault.find(':');
    gone_ = fault.substr(0, colon) == "gone";
    faultAt_ = colon == std::string::npos ? 0 : std::atoi(fault.c_str() + colon + 1);
  }

  bool Exists(const std::wstring& path) override { return real_.Exists(path); }
  Result<std::uint64_t> Length(const std::wstring& path) override { return real_.Length(path); }
  Result<std::unique_ptr<ByteFile>> Open(const std::wstring& path, Access access) override {
    Result<std::unique_ptr<ByteFile>> file = real_.Open(path, access);
    if (!file) return file;
    return std::unique_ptr<ByteFile>(std::make_unique<File>(*this, std::move(*file)));
  }
  Result<std::unique_ptr<ByteFile>> Create(const std::wstring& path) override { return real_.Create(path); }
  Result<> Publish(const std::wstring& from, const std::wstring& to) override {
    return real_.Publish(from, to);
  }
  Result<> Remove(const std::wstring& path) override { return real_.Remove(path); }
  Result<> Append(const std::wstring& path, std::string_view bytes) override {
    return real_.Append(path, bytes);
  }

 private:
  class File final : public ByteFile {
   public:
    File(FaultyFiles& files, std::unique_ptr<ByteFile> real) : files_(files), real_(std::move(real)) {}
    Result<std::uint64_t> Size() override { return real_->Size(); }
    Result<> Read(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
      if (files_.Gone()) return SystemFailure(L"Input/output error");
      return real_->Read(offset, bytes);
    }
    Result<> Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
      const int write = ++files_.writes_;
      if (files_.Gone()) return SystemFailure(L"Input/output error");
      if (write == files_.faultAt_) {
        (void)real_->Write(offset, bytes.first(bytes.size() / 2));
        return SystemFailure(L"Input/output error");
      }
      return real_->Write(offset, bytes);
    }
    Result<> Flush() override {
      if (files_.Gone()) return SystemFailure(L"Input/output error");
      return real_->Flush();
    }

   private:
    FaultyFiles& files_;
    std::unique_ptr<ByteFile> real_;
  };

  bool Gone() const { return gone_ && faultAt_ > 0 && writes_ >= faultAt_; }

  Files& real_;
  bool gone_ = false;
  int faultAt_ = 0;
  int writes_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  SystemFiles system;
  const char* fault = std::getenv("QUORVIX_FAULT");
  FaultyFiles files(system, fault ? fault : "");
  return RunTool(std::vector<std::string>(argv, argv + argc), {files, stdout, stderr});
}
