#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/faulty_files.h"
#include "tests/support/memory_files.h"
#include "vendor/edit_state.h"
#include "vendor/handlers/main_view.h"

// A scripted stand-in for the window: it answers input boxes and yes/no
// boxes from queues a test fills and records what was shown. A box it was
// not scripted for throws, which fails the test (or the fuzzer) that met it.
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
  std::deque<std::wstring> typed;  // answers to input boxes
  std::deque<BoxAnswer> answers;   // answers to yes/no boxes

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
};

// The system as the handlers see it: a program folder a test names, files
// in memory (so reads and writes can be checked byte for byte) behind a
// layer that can break them, and a code page in which some bytes have no
// character of their own.
class FakePlatform : public Platform {
 public:
  std::wstring folder;               // the program's folder
  std::set<std::uint8_t> leadBytes;  // bytes with no character of their own
  MemoryFiles disk;
  FaultyFiles files{disk};

  Result<std::wstring> ProgramFolder() override {
    if (folder.empty()) return SystemFailure(L"The filename or extension is too long.");
    return folder;
  }
  Files& FileSystem() override { return files; }
  std::optional<wchar_t> ByteToChar(std::uint8_t byte) override;
};

// The pending edits as text, as the window shows them: the MAC's twelve
// digits and its two check digits, the SN, the SN's whole check; empty when
// none is pending.
std::wstring PendingMac(const EditState& state);
std::wstring PendingSn(const EditState& state);
std::wstring PendingSnCheck(const EditState& state);
// Pending edits as the entry makes them from typed text.
std::optional<MacEdit> MacOf(const std::wstring& typed);
std::optional<SnEdit> SnOf(const std::wstring& typed);
