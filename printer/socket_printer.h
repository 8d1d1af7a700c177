#pragma once

#include <string>

#include "vendor/result.h"

// Whether printer names a network label printer: socket://HOST[:PORT].
bool IsSocketPrinter(const std::string& printer);

// Refused, saying how to write it, when a socket printer's address is not
// HOST, HOST:PORT or [IPv6]:PORT.
Result<> SocketAddressWellFormed(const std::string& printer);

// Asks the printer at socket://HOST[:PORT] (port 9100 unless named) for its
// status, and sends the ZPL only when it is ready; a printer out of paper or
// ribbon, with its head open or paused gets nothing, and the reason is given.
Result<std::string> PrintToSocket(const std::string& printer, const std::string& zpl);
