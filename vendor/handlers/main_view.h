#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "vendor/files.h"

// What the handlers need from the window (MainView) and from the system
// (Platform). The main window and the system's own side implement them; the
// unit tests script fakes of both.

enum class Label { MAC, SN, lbl };

// Button set plus icon, with the values the message box takes.
enum class BoxStyle { ok = 0, critical = 16, yesNoQuestion = 36, information = 64 };
// dismissed: closed without an answer (Escape, the close box, or torn down
// with the window), or never shown.
enum class BoxAnswer { dismissed = 0, ok = 1, yes = 6, no = 7 };

class MainView {
 public:
  virtual ~MainView() = default;

  virtual void SetLine(Label label, const std::wstring& text) = 0;
  virtual void SetUpdateEnabled(bool enabled) = 0;

  // Modal. Without a title (nullptr) the box carries the application's title.
  // Once the window is closing, no box shows and the answer is dismissed.
  virtual BoxAnswer ShowMessage(const std::wstring& text, BoxStyle style, const wchar_t* title) = 0;
  // Modal. Gives the text typed, or empty text on Cancel or once the window
  // is closing.
  virtual std::wstring AskText(const std::wstring& prompt, const std::wstring& title,
                               const std::wstring& defaultText) = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // The folder holding the program, without a trailing separator except at a
  // drive root; a failure when the system cannot say.
  virtual Result<std::wstring> ProgramFolder() = 0;
  // The files the handlers read and write.
  virtual Files& FileSystem() = 0;
  // The character a byte stands for in the ANSI code page, or nothing when
  // that byte alone is no character there (a lone lead byte).
  virtual std::optional<wchar_t> ByteToChar(std::uint8_t byte) = 0;
};
