#pragma once

#include <optional>
#include <string>

#include "cli/tool.h"
#include "vendor/temporary_file.h"

namespace CLI {
class App;
}

// Where a command's results go: standard output, or a file named by -o,
// written under a temporary name beside it and given its name only once
// whole, replacing a file of that name; so a reader never sees half of one.
// Text is gathered into large parts before it is written.
// Declares -o FILE on a command.
void AddOutputOption(CLI::App& command, std::optional<std::string>& path);

// A failure of the file is said under the file's name, not the ledger's
// the results come from.
class Output {
 public:
  // Standard output when path is not given.
  static Result<Output> Open(const ToolContext& tool, const std::optional<std::string>& path);
  Output(Output&& other) noexcept;
  ~Output();

  Result<> Put(const std::string& text);
  // Writes what is gathered, and gives the file its name.
  Result<> Finish();
  // Whether writing or naming the file failed; if so, it is said and counted
  // in outcome.
  bool Failed(Outcome& outcome) const;

 private:
  Output(const ToolContext& tool, std::optional<TemporaryFile> file, std::wstring path);
  Result<> Drain();
  Result<> Said(const Result<>& done);

  const ToolContext& tool_;
  std::optional<TemporaryFile> file_;
  std::wstring path_;
  std::string buffer_;
  std::uint64_t offset_ = 0;
  std::optional<Failure> failure_;
};
