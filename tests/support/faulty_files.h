#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "vendor/files.h"

// The process ends at once: killed, or the machine lost its power.
struct Died {};

// Passes every call to the files it wraps, and lets a test break any of
// them, as SQLite's I/O error tests make the Nth call fail: opens of a path,
// appends, and each operation on an open file, by a rule the test gives.
class FaultyFiles final : public Files {
 public:
  enum class Operation { size, read, write, flush };

  // One operation on an open file, as the rule sees it. Operations are
  // counted from 0 over every file opened, and apart over every file
  // created (a backup's copy, say).
  struct Call {
    Operation operation;
    bool created;      // on a file this wrapper created
    int index;         // among all operations so far
    int ofItsKind;     // among the operations of its kind so far
    int writesBefore;  // writes so far
  };

  enum class Effect {
    none,
    fail,         // nothing happens, and the call fails
    halfWritten,  // a write puts out half its bytes, then fails
    lost,         // a write puts out nothing, yet reports success
    flipped,      // a read gives its bytes with the first one flipped
    wrongSize,    // the size is one byte short of the vendor file's
    dies,         // the process dies before the write
    diesAfter,    // the process dies after the write
    diesTorn,     // the process dies with only the write's part before a sector boundary on the device
  };

  struct Fault {
    Effect effect = Effect::none;
    std::wstring text = L"Input/output error";  // what the system says of a failure
  };

  explicit FaultyFiles(Files& real) : real_(real) {}

  std::function<Fault(const Call&)> rule;          // none: nothing breaks
  std::map<std::wstring, std::wstring> openFails;  // path -> what the system says
  std::optional<std::wstring> appendFails;

  bool Exists(const std::wstring& path) override { return real_.Exists(path); }
  Result<std::uint64_t> Length(const std::wstring& path) override { return real_.Length(path); }
  Result<std::unique_ptr<ByteFile>> Open(const std::wstring& path, Access access) override;
  Result<std::unique_ptr<ByteFile>> Create(const std::wstring& path) override;
  Result<> Publish(const std::wstring& from, const std::wstring& to) override {
    return real_.Publish(from, to);
  }
  Result<> Replace(const std::wstring& from, const std::wstring& to) override {
    return real_.Replace(from, to);
  }
  Result<> Remove(const std::wstring& path) override { return real_.Remove(path); }
  Result<std::vector<std::wstring>> Names(const std::wstring& folder) override { return real_.Names(folder); }
  Result<> Append(const std::wstring& path, std::string_view bytes) override;

 private:
  class File;
  struct Counts {
    int operations = 0, writes = 0;
    int ofKind[4] = {};
  };
  Fault Judge(Operation operation, bool created);

  Files& real_;
  Counts opened_, created_;
};

// The rule that breaks the operation of one kind with the given number.
std::function<FaultyFiles::Fault(const FaultyFiles::Call&)> Break(FaultyFiles::Operation operation, int index,
                                                                  FaultyFiles::Effect effect,
                                                                  std::wstring text = L"Input/output error");
