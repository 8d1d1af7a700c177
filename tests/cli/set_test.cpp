// quorvix-cli set with faults injected into its backup and its log.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/tool.h"
#include "files/utf8.h"
#include "tests/support/faulty_files.h"
#include "tests/support/memory_files.h"
#include "tests/support/vendor_bytes.h"
#include "vendor/temporary_file.h"

namespace {

struct Call {
  int code;
  std::string out, err;
};

const std::wstring kVendor = L"/line/vendor.bin", kLog = L"/line/log.jsonl";

struct Fixture {
  MemoryFiles disk;
  FaultyFiles files{disk};
  std::vector<std::uint8_t> original = VendorBytes("0102030405060F", "0000000000000", "000");

  Fixture() { disk.Put(kVendor, original); }

  Call Set(std::vector<std::string> extra) {
    std::vector<std::string> args = {"quorvix-cli",  "set",   Utf8(kVendor), "--mac",
                                     "001132ABCDEF", "--log", Utf8(kLog)};
    args.insert(args.end(), extra.begin(), extra.end());
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int code = RunTool(args, {files, out, err});
    return {code, Text(out), Text(err)};
  }
  nlohmann::json LastLogLine() const {
    const std::vector<std::uint8_t> log = *disk.Bytes(kLog);
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
  using Operation = FaultyFiles::Operation;
  struct Case {
    Operation operation;
    const wchar_t* says;
  };
  for (const Case& c :
       {Case{Operation::write, L"No space left on device"}, Case{Operation::flush, L"Input/output error"}}) {
    SCOPED_TRACE(Utf8(c.says));
    Fixture f;
    f.files.rule = [c](const FaultyFiles::Call& call) {
      const bool broken = call.created && call.operation == c.operation;
      return broken ? FaultyFiles::Fault{FaultyFiles::Effect::fail, c.says} : FaultyFiles::Fault{};
    };
    const Call call = f.Set({"--backup"});
    EXPECT_EQ(call.code, 1);
    EXPECT_NE(call.err.find("quorvix-cli: error: /line/vendor.bin: no backup could be made: "),
              std::string::npos)
        << call.err;
    EXPECT_EQ(f.disk.Bytes(kVendor), f.original);
    const nlohmann::json line = f.LastLogLine();
    EXPECT_EQ(line["result"], "failed");
    EXPECT_NE(line["error"].get<std::string>().find(Utf8(c.says)), std::string::npos);
    EXPECT_FALSE(line.contains("backup"));
    // Not even a part of a copy stays behind.
    EXPECT_EQ(f.disk.Paths(), (std::vector<std::wstring>{kLog, kVendor}));
  }
}

TEST(SetBackup, ATakenNameIsSteppedOverAndTheBackupIsInTheLogLine) {
  Fixture f;
  f.disk.Put(kVendor + L".bak", {'o', 'l', 'd'});
  const Call call = f.Set({"--backup"});
  EXPECT_EQ(call.code, 0) << call.err;
  EXPECT_EQ(f.disk.Bytes(kVendor + L".bak"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(f.disk.Bytes(kVendor + L".bak.1"), f.original);
  const nlohmann::json line = f.LastLogLine();
  EXPECT_EQ(line["result"], "written");
  EXPECT_EQ(line["backup"], "/line/vendor.bin.bak.1");
}

TEST(SetBackup, WhatAKilledBackupLeftIsRemovedAndNothingElse) {
  struct Case {
    const wchar_t* name;
    bool removed;
  };
  const Case cases[] = {
      {L".vendor.bin.0a1b2c3d.tmp", true},                                        // a copy a killed run left
      {L".vendor.bin.0a1b2c3.tmp", false},                                        // one digit short
      {L".vendor.bin.0a1b2c3g.tmp", false}, {L".other.bin.0a1b2c3d.tmp", false},  // another file's
      {L"vendor.bin.0a1b2c3d.tmp", false},  {L"vendor.bin.bak.partial", false},
  };
  Fixture f;
  for (const Case& c : cases) f.disk.Put(L"/line/" + std::wstring(c.name), {'x'});
  const Call call = f.Set({"--backup"});
  ASSERT_EQ(call.code, 0) << call.err;
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.name));
    EXPECT_EQ(f.disk.Bytes(L"/line/" + std::wstring(c.name)).has_value(), !c.removed);
  }
  EXPECT_EQ(f.disk.Bytes(kVendor + L".bak"), f.original);
  for (const std::wstring& path : f.disk.Paths()) {
    EXPECT_FALSE(IsTemporaryName(path.substr(path.rfind(L'/') + 1), L"vendor.bin")) << Utf8(path);
  }
}

TEST(SetLog, ALogLineThatCannotBeWrittenTurnsSuccessIntoExitOne) {
  Fixture f;
  f.files.appendFails = L"No space left on device";
  const Call call = f.Set({});
  EXPECT_EQ(call.code, 1);
  EXPECT_NE(
      call.err.find(
          "quorvix-cli: error: /line/log.jsonl: the log line could not be written: No space left on device"),
      std::string::npos)
      << call.err;
  EXPECT_NE(call.out.find("written and verified"), std::string::npos);
  EXPECT_NE(f.disk.Bytes(kVendor), f.original);
}
