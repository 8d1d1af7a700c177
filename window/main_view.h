#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

// What the vendor-data handlers need from the window and the platform. The
// Win32 window implements it; unit tests script a fake of it.

// The system's own description of a failed operation; empty on success.
using Failure = std::optional<std::wstring>;

enum class Label { MAC, SN, lbl };

// Button set plus icon, with the values the message box takes.
enum class BoxStyle { ok = 0, critical = 16, yesNoQuestion = 36, information = 64 };
enum class BoxAnswer { ok = 1, yes = 6, no = 7 };

// An open file. Closing it is the destructor's job, so no path skips it.
class ByteFile {
 public:
  virtual ~ByteFile() = default;
  virtual Failure Size(std::uint64_t& bytes) = 0;
  // Reads or writes exactly bytes.size() bytes at offset; anything less fails.
  virtual Failure Read(std::uint64_t offset, std::span<std::uint8_t> bytes) = 0;
  virtual Failure Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
  // Returns once the written bytes are on the device.
  virtual Failure Flush() = 0;
};

enum class Access {
  read,    // others may read and write meanwhile
  update,  // read and write an existing file; others may only read it
};

struct Opened {
  std::unique_ptr<ByteFile> file;  // null when failure is set
  Failure failure;
};

struct Length {
  std::uint64_t bytes = 0;
  Failure failure;
};

class MainView {
 public:
  virtual ~MainView() = default;

  virtual void SetLine(Label label, const std::wstring& text) = 0;
  virtual void SetUpdateEnabled(bool enabled) = 0;

  // Modal. Without a title the box carries the application's title.
  virtual BoxAnswer ShowMessage(const std::wstring& text, BoxStyle style, const std::wstring* title) = 0;
  // Modal. Gives the text typed, or empty text on Cancel.
  virtual std::wstring AskText(const std::wstring& prompt, const std::wstring& title,
                               const std::wstring& defaultText) = 0;

  // The folder holding the program, without a trailing separator except at a
  // drive root.
  virtual std::wstring ProgramFolder() = 0;
  // True for a normal file only: not a folder, not hidden, not a system file.
  virtual bool FileExists(const std::wstring& path) = 0;
  virtual Length FileLength(const std::wstring& path) = 0;
  virtual Opened Open(const std::wstring& path, Access access) = 0;

  // The character a byte stands for in the ANSI code page, or nothing when
  // that byte alone is no character there (a lone lead byte).
  virtual std::optional<wchar_t> ByteToChar(std::uint8_t byte) = 0;
};
