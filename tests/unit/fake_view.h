#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

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
  std::wstring folder;                             // the program's folder
  std::deque<std::wstring> typed;                  // answers to input boxes
  std::deque<BoxAnswer> answers;                   // answers to yes/no boxes
  std::set<std::wstring> hidden;                   // paths that count as hidden files
  std::map<std::wstring, std::wstring> openFails;  // path -> the system's words
  std::set<std::uint8_t> leadBytes;                // bytes with no character of their own
  // Wraps every opened file, to inject faults into its operations.
  std::function<std::unique_ptr<ByteFile>(std::unique_ptr<ByteFile>)> wrapFile;

  // Record.
  std::map<Label, std::wstring> lines{
      {Label::MAC, L"MAC"}, {Label::SN, L"SN"}, {Label::lbl, L"将要修改的文件托进来"}};
  bool updateEnabled = false;
  std::vector<Box> boxes;
  std::vector<Asked> asked;
  int opens = 0;

  void SetLine(Label label, const std::wstring& text) override { lines[label] = text; }
  void SetUpdateEnabled(bool enabled) override { updateEnabled = enabled; }
  BoxAnswer ShowMessage(const std::wstring& text, BoxStyle style, const std::wstring* title) override;
  std::wstring AskText(const std::wstring& prompt, const std::wstring& title,
                       const std::wstring& defaultText) override;
  std::wstring ProgramFolder() override { return folder; }
  bool FileExists(const std::wstring& path) override;
  Length FileLength(const std::wstring& path) override;
  Opened Open(const std::wstring& path, Access access) override;
  std::optional<wchar_t> ByteToChar(std::uint8_t byte) override;
};

// Paths as the handlers see them (wide, either separator) and as disk does.
std::filesystem::path DiskPath(const std::wstring& path);
std::wstring WidePath(const std::filesystem::path& path);

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// A vendor file of the given size with a recognisable filler, and the fields
// set from the texts given (MAC as 14 hex digits including the check).
std::vector<std::uint8_t> VendorBytes(const std::string& macWithCheck, const std::string& sn,
                                      const std::string& snCheck, std::size_t size = 65536);
