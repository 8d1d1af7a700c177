#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "vendor/result.h"

// A TCP connection to a network printer, every wait on it bounded: a printer
// that is off or silent costs its timeout, never a hung line. Failures come
// in the system's words (strerror, or Windows' own text of a Winsock error).
class Connection {
 public:
  using Timeout = std::chrono::milliseconds;

  // The first of the host's addresses that accepts within the timeout. The
  // name is looked up first, by the system's resolver and within its own
  // timeouts: name a line's printers by address where DNS may be down.
  static Result<Connection> Open(const std::string& host, const std::string& port, Timeout timeout);
  Connection(Connection&& other) noexcept;
  ~Connection();

  Result<> Send(std::string_view bytes, Timeout timeout);
  // What arrives until enough says so, the printer closes or the timeout
  // passes; refused when nothing at all arrived within the timeout.
  Result<std::string> Receive(const std::function<bool(std::string_view)>& enough, Timeout timeout);
  // Ends sending, and reads what the printer still says until it closes or
  // the wait is over: a socket closed with bytes unread is reset, not
  // closed, and a reset may cost the printer what it has not read yet.
  void Finish(Timeout wait);

 private:
  struct Socket;  // the system's socket, closed with the connection
  explicit Connection(std::unique_ptr<Socket> socket);
  std::unique_ptr<Socket> socket_;
};
