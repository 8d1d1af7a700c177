#include "label/template.h"

#include <span>

#include "label/svg_template.h"
#include "label/zpl_template.h"

namespace {

constexpr std::uint64_t kLargest = 4 << 20;

const wchar_t* FormatWord(LabelFormat format) {
  switch (format) {
    case LabelFormat::zpl:
      return L"ZPL";
    case LabelFormat::svg:
      return L"SVG";
    case LabelFormat::png:
      break;
  }
  return L"PNG";
}

}  // namespace

Result<LabelTemplate> ReadLabelTemplate(Files& files, const std::wstring& path) {
  const std::size_t dot = path.find_last_of(L'.'), folder = path.find_last_of(L"/\\");
  std::string extension;
  if (dot != std::wstring::npos && (folder == std::wstring::npos || dot > folder))
    for (const wchar_t c : path.substr(dot + 1))
      extension += c < 0x80 ? static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c) : '?';
  const std::optional<LabelFormat> format = LabelFormatNamed(extension);
  if (!format || *format == LabelFormat::png)
    return Refusal(L"a template is a .zpl or an .svg file, named so");
  // A folder opens for reading on POSIX, and only its reading fails: told
  // apart first, by the length a folder does not have.
  const Result<std::uint64_t> length = files.Length(path);
  if (!length) return length.error();
  if (*length == 0 && !files.Exists(path)) return Refusal(L"the template is a folder, not a file");
  Result<std::unique_ptr<ByteFile>> file = files.Open(path, Access::read);
  if (!file) return file.error();
  const Result<std::uint64_t> size = (*file)->Size();
  if (!size) return size.error();
  if (*size > kLargest) return Refusal(L"the template is larger than 4 MiB: no label's design is");
  LabelTemplate design;
  design.format = *format;
  design.bytes.resize(static_cast<std::size_t>(*size));
  if (Result<> read = (*file)->Read(
          0, std::span(reinterpret_cast<std::uint8_t*>(design.bytes.data()), design.bytes.size()));
      !read)
    return read.error();
  return design;
}

Result<std::string> FilledTemplate(const LabelTemplate& design, const LabelTexts& texts, LabelFormat format,
                                   int dpi) {
  if (format != design.format)
    return Refusal(L"the template is " + std::wstring(FormatWord(design.format)) + L": its labels are " +
                   FormatWord(design.format) + L", not " + FormatWord(format));
  if (design.format == LabelFormat::zpl) return FilledZpl(design.bytes, texts);
  return FilledSvg(design.bytes, texts, dpi);
}
