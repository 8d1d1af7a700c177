#include "printer/socket_printer.h"

#include "files/utf8.h"
#include "printer/connection.h"
#include "printer/host_status.h"

namespace {

constexpr std::string_view kScheme = "socket://";
constexpr const char* kDefaultPort = "9100";
// A label printer answers at once; these bound a printer that is off, or
// one that keeps silent (as some do while out of paper or with the head open).
constexpr Connection::Timeout kConnectTimeout{5000}, kReplyTimeout{5000}, kSendTimeout{10000};
// A printer keeps the connection open after a label; this is only for what
// it may still be saying.
constexpr Connection::Timeout kFinishWait{300};

struct Address {
  std::string host, port;
};

// HOST, HOST:PORT, [IPv6] or [IPv6]:PORT after the scheme.
Result<Address> AddressOf(const std::string& printer) {
  const std::string rest = printer.substr(kScheme.size());
  Address address;
  std::size_t colon = std::string::npos;
  if (rest.starts_with('[')) {
    const std::size_t close = rest.find(']');
    if (close == std::string::npos || (close + 1 < rest.size() && rest[close + 1] != ':'))
      return Refusal(Wide(printer + ": an IPv6 address is written as socket://[ADDRESS]:PORT"));
    address.host = rest.substr(1, close - 1);
    if (close + 1 < rest.size()) colon = close + 1;
  } else {
    colon = rest.find(':');
    address.host = rest.substr(0, colon);
  }
  address.port = colon == std::string::npos ? kDefaultPort : rest.substr(colon + 1);
  const bool digits = !address.port.empty() && address.port.size() <= 5 &&
                      address.port.find_first_not_of("0123456789") == std::string::npos;
  if (address.host.empty() || !digits || std::stoi(address.port) == 0 || std::stoi(address.port) > 65535)
    return Refusal(Wide(printer + ": name a network printer as socket://HOST or socket://HOST:PORT"));
  return address;
}

Failure Said(const Address& address, const Failure& failure) {
  return Failure(failure.cause, Wide(address.host + ":" + address.port + ": ") + failure.text);
}

}  // namespace

bool IsSocketPrinter(const std::string& printer) { return printer.starts_with(kScheme); }

Result<> SocketAddressWellFormed(const std::string& printer) {
  if (const Result<Address> address = AddressOf(printer); !address) return address.error();
  return {};
}

Result<std::string> PrintToSocket(const std::string& printer, const std::string& zpl) {
  const Result<Address> address = AddressOf(printer);
  if (!address) return address.error();
  Result<Connection> connection = Connection::Open(address->host, address->port, kConnectTimeout);
  if (!connection) return Said(*address, connection.error());
  if (Result<> asked = connection->Send("~HS", kSendTimeout); !asked) return Said(*address, asked.error());
  const Result<std::string> reply = connection->Receive(HostStatusComplete, kReplyTimeout);
  if (!reply) return Said(*address, Failure(reply.error().cause, L"its status (~HS): " + reply.error().text));
  if (Result<> ready = ReadyToPrint(*reply); !ready) return Said(*address, ready.error());
  if (Result<> sent = connection->Send(zpl, kSendTimeout); !sent) return Said(*address, sent.error());
  connection->Finish(kFinishWait);
  return "sent to " + address->host + ":" + address->port;
}
