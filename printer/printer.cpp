#include "printer/printer.h"

#include "printer/named_printer.h"
#include "printer/socket_printer.h"

Result<> PrinterTakes(const std::string& printer, LabelFormat format) {
  if (format == LabelFormat::svg) return Refusal(L"SVG labels are not printed: print ZPL or PNG");
  if (format == LabelFormat::png && IsSocketPrinter(printer))
    return Refusal(L"a socket:// printer takes ZPL only: print ZPL, or PNG on a printer named by the system");
  if (IsSocketPrinter(printer)) return SocketAddressWellFormed(printer);
  return {};
}

Result<std::string> Print(const std::string& printer, const LabelBytes& label) {
  if (Result<> takes = PrinterTakes(printer, label.format); !takes) return takes.error();
  if (IsSocketPrinter(printer)) return PrintToSocket(printer, label.bytes);
  return PrintOnNamedPrinter(printer, label);
}
