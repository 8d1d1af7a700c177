#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/unit/fake_files.h"
#include "window/main_view.h"

// A scripted stand-in for the window: it answers input boxes and yes/no
// boxes from queues a test fills, records what was shown, and reaches real
// files on disk so the handlers' reads and writes can be checked byte for byte.
class FakeView : public MainView {
 public:
  struct Box {
    std::wstring text;
    BoxStyle style;
    std::optional<std::wstring> title;
  };
  struct Asked {
    std::wstring prompt, title, defaultText;
  };

  // Script.
  std::wstring folder;               // the program's folder
  std::deque<std::wstring> typed;    // answers to input boxes
  std::deque<BoxAnswer> answers;     // answers to yes/no boxes
  std::set<std::uint8_t> leadBytes;  // bytes with no character of their own
  FakeFiles files;

  // Record.
  std::map<Label, std::wstring> lines{
      {Label::MAC, L"MAC"}, {Label::SN, L"SN"}, {Label::lbl, L"将要修改的文件托进来"}};
  bool updateEnabled = false;
  std::vector<Box> boxes;
  std::vector<Asked> asked;

  void SetLine(Label label, const std::wstring& text) override { lines[label] = text; }
  void SetUpdateEnabled(bool enabled) override { updateEnabled = enabled; }
  BoxAnswer ShowMessage(const std::wstring& text, BoxStyle style, const wchar_t* title) override;
  std::wstring AskText(const std::wstring& prompt, const std::wstring& title,
                       const std::wstring& defaultText) override;
  Result<std::wstring> ProgramFolder() override {
    if (folder.empty()) return SystemFailure(L"The filename or extension is too long.");
    return folder;
  }
  Files& FileSystem() override { return files; }
  std::optional<wchar_t> ByteToChar(std::uint8_t byte) override;
};
