#include "cli/output.h"

#include <CLI/CLI.hpp>
#include <utility>

#include "cli/exit_codes.h"
#include "cli/messages.h"
#include "files/utf8.h"

void AddOutputOption(CLI::App& command, std::optional<std::string>& path) {
  command.add_option("-o,--output", path, "Write to this file, whole or not at all, not to standard output")
      ->type_name("FILE");
}

Result<Output> Output::Open(const ToolContext& tool, const std::optional<std::string>& path) {
  if (!path) return Output(tool, std::nullopt, L"");
  Result<TemporaryFile> made = CreateTemporary(tool.files, Wide(*path));
  if (!made) {
    Say(tool.err, Severity::error, Wide(*path), Describe(made.error()));
    return made.error();
  }
  return Output(tool, std::move(*made), Wide(*path));
}

Output::Output(const ToolContext& tool, std::optional<TemporaryFile> file, std::wstring path)
    : tool_(tool), file_(std::move(file)), path_(std::move(path)) {}

// The file is the new one's alone: the moved-from one must not remove it.
Output::Output(Output&& other) noexcept
    : tool_(other.tool_),
      file_(std::exchange(other.file_, std::nullopt)),
      path_(std::move(other.path_)),
      buffer_(std::move(other.buffer_)),
      offset_(other.offset_),
      failure_(std::move(other.failure_)) {}

// A file not finished is no result: its temporary copy goes.
Output::~Output() {
  if (!file_) return;
  file_->file.reset();
  (void)tool_.files.Remove(file_->path);
}

Result<> Output::Put(const std::string& text) {
  buffer_ += text;
  return buffer_.size() >= (1 << 16) ? Said(Drain()) : Result<>();
}

Result<> Output::Drain() {
  if (!file_) {
    Print(tool_.out, buffer_);
  } else {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer_.data());
    if (Result<> written = file_->file->Write(offset_, std::span(bytes, buffer_.size())); !written)
      return written;
  }
  offset_ += buffer_.size();
  buffer_.clear();
  return {};
}

Result<> Output::Finish() {
  if (Result<> drained = Drain(); !drained) return Said(drained);
  if (!file_) return {};
  if (Result<> flushed = file_->file->Flush(); !flushed) return Said(flushed);
  file_->file.reset();
  if (Result<> named = tool_.files.Replace(file_->path, path_); !named) return Said(named);
  file_.reset();
  return {};
}

Result<> Output::Said(const Result<>& done) {
  if (!done && !failure_) {
    failure_ = done.error();
    Say(tool_.err, Severity::error, path_, Describe(*failure_));
  }
  return done;
}

bool Output::Failed(Outcome& outcome) const {
  if (failure_) outcome |= OutcomeOf(*failure_);
  return failure_.has_value();
}
