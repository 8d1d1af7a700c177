#include "cli/output.h"

#include <CLI/CLI.hpp>

#include "cli/messages.h"
#include "files/utf8.h"

void AddOutputOption(CLI::App& command, std::optional<std::string>& path) {
  command.add_option("-o,--output", path, "Write to this file, whole or not at all, not to standard output")
      ->type_name("FILE");
}

Result<Output> Output::Open(const ToolContext& tool, const std::optional<std::string>& path) {
  if (!path) return Output(tool, std::nullopt, L"");
  Result<TemporaryFile> made = CreateTemporary(tool.files, Wide(*path));
  if (!made) return made.error();
  return Output(tool, std::move(*made), Wide(*path));
}

Output::Output(const ToolContext& tool, std::optional<TemporaryFile> file, std::wstring path)
    : tool_(tool), file_(std::move(file)), path_(std::move(path)) {}

// A file not finished is no result: its temporary copy goes.
Output::~Output() {
  if (!file_) return;
  file_->file.reset();
  (void)tool_.files.Remove(file_->path);
}

Result<> Output::Put(const std::string& text) {
  buffer_ += text;
  return buffer_.size() >= (1 << 16) ? Drain() : Result<>();
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
  if (Result<> drained = Drain(); !drained) return drained;
  if (!file_) return {};
  if (Result<> flushed = file_->file->Flush(); !flushed) return flushed;
  file_->file.reset();
  if (Result<> named = tool_.files.Replace(file_->path, path_); !named) return named;
  file_.reset();
  return {};
}
