// A named printer on Windows, through the spooler: ZPL as a RAW document,
// which the spooler hands to the printer untouched; PNG as the label's dots
// drawn on the printer's page at the printer's own resolution.
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "files/utf8.h"
#include "files/win32_error.h"
#include "printer/named_printer.h"

namespace {

Failure LastError() { return SystemFailure(SystemErrorText(::GetLastError())); }

// GDI's calls do not all set an error code; then ours.
Failure LastErrorOr(const wchar_t* what) {
  const DWORD code = ::GetLastError();
  return SystemFailure(code != ERROR_SUCCESS ? SystemErrorText(code) : what);
}

struct PrinterCloser {
  void operator()(HANDLE printer) const { ::ClosePrinter(printer); }
};
using PrinterHandle = std::unique_ptr<void, PrinterCloser>;

struct DcDeleter {
  void operator()(HDC dc) const { ::DeleteDC(dc); }
};
using PrinterDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// Opening it first gives a printer the system does not know in its own words.
Result<PrinterHandle> OpenPrinter(const std::wstring& name) {
  HANDLE printer = nullptr;
  if (!::OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &printer, nullptr)) return LastError();
  return PrinterHandle(printer);
}

// A spooled document, deleted unless it was ended whole: a label half sent
// prints nothing.
class RawDocument {
 public:
  explicit RawDocument(HANDLE printer) : printer_(printer) {}
  RawDocument(const RawDocument&) = delete;
  RawDocument& operator=(const RawDocument&) = delete;
  ~RawDocument() {
    if (!ended_) ::AbortPrinter(printer_);
  }
  Result<> End() {
    if (!::EndDocPrinter(printer_)) return LastError();
    ended_ = true;
    return {};
  }

 private:
  HANDLE printer_;
  bool ended_ = false;
};

class DrawnDocument {
 public:
  explicit DrawnDocument(HDC dc) : dc_(dc) {}
  DrawnDocument(const DrawnDocument&) = delete;
  DrawnDocument& operator=(const DrawnDocument&) = delete;
  ~DrawnDocument() {
    if (!ended_) ::AbortDoc(dc_);
  }
  Result<> End() {
    if (::EndDoc(dc_) <= 0) return LastErrorOr(L"the printer did not take the page");
    ended_ = true;
    return {};
  }

 private:
  HDC dc_;
  bool ended_ = false;
};

Result<std::string> PrintRaw(const std::wstring& name, const std::string& bytes) {
  const Result<PrinterHandle> printer = OpenPrinter(name);
  if (!printer) return printer.error();
  wchar_t title[] = L"Quorvix label", datatype[] = L"RAW";
  DOC_INFO_1W info{title, nullptr, datatype};
  const DWORD job = ::StartDocPrinterW(printer->get(), 1, reinterpret_cast<BYTE*>(&info));
  if (job == 0) return LastError();
  RawDocument document(printer->get());
  if (!::StartPagePrinter(printer->get())) return LastError();
  for (std::size_t at = 0; at < bytes.size();) {
    DWORD written = 0;
    const DWORD part = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1 << 20));
    if (!::WritePrinter(printer->get(), const_cast<char*>(bytes.data() + at), part, &written))
      return LastError();
    if (written == 0) return SystemFailure(SystemErrorText(ERROR_WRITE_FAULT));
    at += written;
  }
  if (!::EndPagePrinter(printer->get())) return LastError();
  if (Result<> ended = document.End(); !ended) return ended.error();
  return "job " + std::to_string(job);
}

// An 8-bit DIB of the dots, rows from the top, each padded to 4 bytes.
struct GrayBitmap {
  explicit GrayBitmap(const LabelDots& label) : stride((label.width + 3) & ~3) {
    info.header.biSize = sizeof info.header;
    info.header.biWidth = label.width;
    info.header.biHeight = -label.height;
    info.header.biPlanes = 1;
    info.header.biBitCount = 8;
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = 256;
    for (int level = 0; level < 256; ++level) {
      const auto gray = static_cast<BYTE>(level);
      info.palette[level] = {gray, gray, gray, 0};
    }
    bits.assign(static_cast<std::size_t>(stride) * label.height, 255);
    for (int y = 0; y < label.height; ++y)
      std::copy_n(label.dots.begin() + static_cast<std::ptrdiff_t>(y) * label.width, label.width,
                  bits.begin() + static_cast<std::ptrdiff_t>(y) * stride);
  }
  struct {
    BITMAPINFOHEADER header{};
    RGBQUAD palette[256];
  } info;
  int stride;
  std::vector<BYTE> bits;
};

Result<std::string> PrintDrawn(const std::wstring& name, const LabelDots& label) {
  if (const Result<PrinterHandle> printer = OpenPrinter(name); !printer) return printer.error();
  const PrinterDc dc(::CreateDCW(L"WINSPOOL", name.c_str(), nullptr, nullptr));
  if (!dc) return LastErrorOr(L"Windows could not draw on the printer");
  wchar_t title[] = L"Quorvix label";
  DOCINFOW info{};
  info.cbSize = sizeof info;
  info.lpszDocName = title;
  const int job = ::StartDocW(dc.get(), &info);
  if (job <= 0) return LastErrorOr(L"the printer did not start the document");
  DrawnDocument document(dc.get());
  if (::StartPage(dc.get()) <= 0) return LastErrorOr(L"the printer did not start a page");
  // The label's size kept: its dots scaled from its dpi to the printer's.
  const int width = ::MulDiv(label.width, ::GetDeviceCaps(dc.get(), LOGPIXELSX), label.dpi);
  const int height = ::MulDiv(label.height, ::GetDeviceCaps(dc.get(), LOGPIXELSY), label.dpi);
  const GrayBitmap bitmap(label);
  ::SetStretchBltMode(dc.get(), COLORONCOLOR);
  const int drawn =
      ::StretchDIBits(dc.get(), 0, 0, width, height, 0, 0, label.width, label.height, bitmap.bits.data(),
                      reinterpret_cast<const BITMAPINFO*>(&bitmap.info), DIB_RGB_COLORS, SRCCOPY);
  if (drawn == 0 || drawn == static_cast<int>(GDI_ERROR)) return LastErrorOr(L"the label could not be drawn");
  if (::EndPage(dc.get()) <= 0) return LastErrorOr(L"the printer did not take the page");
  if (Result<> ended = document.End(); !ended) return ended.error();
  return "job " + std::to_string(job);
}

}  // namespace

Result<std::string> PrintOnNamedPrinter(const std::string& name, const LabelBytes& label) {
  if (label.format == LabelFormat::png) return PrintDrawn(Wide(name), label.dots);
  return PrintRaw(Wide(name), label.bytes);
}
