// quorvix-cli set with faults injected into its backup and its log.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/tool.h"
#include "tests/unit/fake_files.h"

namespace {

// A created file whose writes or flush fail.
class FailingFile final : public ByteFile {
 public:
  enum class Fault { write, flush };
  FailingFile(std::unique_ptr<ByteFile> real, Fault fault) : real_(std::move(real)), fault_(fault) {}
  Result<std::uint64_t> Size() override { return real_->Size(); }
  Result<> Read(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    return real_->Read(offset, bytes);
  }
  Result<> Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    if (fault_ == Fault::write) return SystemFailure(L"No space left on device");
    return real_->Write(offset, bytes);
  }
  Result<> Flush() override {
    if (fault_ == Fault::flush) return SystemFailure(L"Input/output error");
    return real_->Flush();
  }

 private:
  std::unique_ptr<ByteFile> real_;
  Fault fault_;
};

struct Call {
  int code;
  std::string out, err;
};

struct Fixture {
  TempFolder temp;
  FakeFiles files;
  std::vector<std::uint8_t> original = VendorBytes("0102030405060F", "0000000000000", "000");

  Fixture() { WriteAll(Vendor(), original); }
  std::filesystem::path Vendor() const { return temp.path() / "vendor.bin"; }
  std::filesystem::path Log() const { return temp.path() / "log.jsonl"; }

  Call Set(std::vector<std::string> extra) {
    std::vector<std::string> args = {"quorvix-cli",  "set",   Vendor().string(), "--mac",
                                     "001132ABCDEF", "--log", Log().string()};
    args.insert(args.end(), extra.begin(), extra.end());
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int code = RunTool(args, {files, out, err});
    return {code, Text(out), Text(err)};
  }
  nlohmann::json LastLogLine() const {
    const std::vector<std::uint8_t> log = ReadAll(Log());
    std::string text(log.begin(), log.end());
    text.pop_back();
    return nlohmann::json::parse(text.substr(text.rfind('\n') + 1));
  }
  static std::string Text(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    std::fclose(file);
    return text;
  }
};

}  // namespace

TEST(SetBackup, ABackupThatCannotBeMadeWritesNothingAndIsLoggedWithItsReason) {
  for (FailingFile::Fault fault : {FailingFile::Fault::write, FailingFile::Fault::flush}) {
    SCOPED_TRACE(static_cast<int>(fault));
    Fixture f;
    f.files.wrapCreated = [fault](std::unique_ptr<ByteFile> real) {
      return std::make_unique<FailingFile>(std::move(real), fault);
    };
    const Call call = f.Set({"--backup"});
    EXPECT_EQ(call.code, 1);
    EXPECT_NE(call.err.find("quorvix-cli: error: " + f.Vendor().string() + ": no backup could be made: "),
              std::string::npos)
        << call.err;
    EXPECT_EQ(ReadAll(f.Vendor()), f.original);
    const nlohmann::json line = f.LastLogLine();
    EXPECT_EQ(line["result"], "failed");
    EXPECT_NE(line["error"].get<std::string>().find(
                  fault == FailingFile::Fault::write ? "No space left" : "Input/output error"),
              std::string::npos);
    EXPECT_FALSE(line.contains("backup"));
    // Not even a part of a copy stays behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(f.temp.path()), {}), 2);
  }
}

TEST(SetBackup, ATakenNameIsSteppedOverAndTheBackupIsInTheLogLine) {
  Fixture f;
  WriteAll(f.temp.path() / "vendor.bin.bak", {'o', 'l', 'd'});
  const Call call = f.Set({"--backup"});
  EXPECT_EQ(call.code, 0) << call.err;
  EXPECT_EQ(ReadAll(f.temp.path() / "vendor.bin.bak"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(ReadAll(f.temp.path() / "vendor.bin.bak.1"), f.original);
  const nlohmann::json line = f.LastLogLine();
  EXPECT_EQ(line["result"], "written");
  EXPECT_EQ(line["backup"], (f.temp.path() / "vendor.bin.bak.1").string());
}

TEST(SetLog, ALogLineThatCannotBeWrittenTurnsSuccessIntoExitOne) {
  Fixture f;
  f.files.appendFails = L"No space left on device";
  const Call call = f.Set({});
  EXPECT_EQ(call.code, 1);
  EXPECT_NE(call.err.find("quorvix-cli: error: " + f.Log().string() +
                          ": the log line could not be written: No space left on device"),
            std::string::npos)
      << call.err;
  EXPECT_NE(call.out.find("written and verified"), std::string::npos);
  EXPECT_NE(ReadAll(f.Vendor()), f.original);
}
