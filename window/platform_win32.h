#pragma once

#include "files/system_files.h"
#include "vendor/handlers/main_view.h"

// What the handlers ask of the system on Windows: the program's folder, the
// ANSI code page and the files.
class Win32Platform final : public Platform {
 public:
  Result<std::wstring> ProgramFolder() override;
  Files& FileSystem() override { return files_; }
  std::optional<wchar_t> ByteToChar(std::uint8_t byte) override;

 private:
  SystemFiles files_;
};
