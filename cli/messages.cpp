#include "cli/messages.h"

#include "files/utf8.h"

void Print(std::FILE* stream, const std::string& text) { std::fwrite(text.data(), 1, text.size(), stream); }

void Say(std::FILE* err, Severity severity, const std::wstring& path, const std::string& what) {
  std::string line = severity == Severity::error ? "quorvix-cli: error: " : "quorvix-cli: warning: ";
  if (!path.empty()) line += Utf8(path) + ": ";
  Print(err, line + what + "\n");
}

std::string Describe(const Failure& failure) {
  switch (failure.cause) {
    case Failure::Cause::system:
    case Failure::Cause::refused:
    case Failure::Cause::retry:
    case Failure::Cause::exists:
    case Failure::Cause::inDoubt:
      return Utf8(failure.text);
    case Failure::Cause::shortRead:
      return "the file ended before all bytes were read";
    case Failure::Cause::shortWrite:
      return "fewer bytes were written than given";
    case Failure::Cause::notVendorFile:
      return "not a vendor file: it is not 65,536 bytes long";
    case Failure::Cause::lengthChanged:
      return "the file is no longer 65,536 bytes long";
    case Failure::Cause::readBackDiffers:
      return "the bytes read back after writing differ from those written";
    case Failure::Cause::readsDiffer:
      return "two reads of the file's first bytes differ";
  }
  return Utf8(failure.text);
}
