#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "files/utf8.h"
#include "files/win32_error.h"
#include "printer/connection.h"

namespace {

using Clock = std::chrono::steady_clock;

Failure WinsockError(int code) { return SystemFailure(SystemErrorText(static_cast<DWORD>(code))); }

// Winsock, started for as long as a connection needs it.
class Winsock {
 public:
  Winsock() {
    WSADATA data;
    started_ = ::WSAStartup(MAKEWORD(2, 2), &data);
  }
  Winsock(const Winsock&) = delete;
  Winsock& operator=(const Winsock&) = delete;
  ~Winsock() {
    if (started_ == 0) ::WSACleanup();
  }
  int Failed() const { return started_; }

 private:
  int started_;
};

// Waits until the socket can be written (or its connect failed) or read;
// WSAETIMEDOUT past the deadline.
int Await(SOCKET socket, bool write, Clock::time_point deadline) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(socket, &ready);
  FD_SET(socket, &failed);
  const auto left = std::max<long long>(
      0, std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count());
  timeval wait{static_cast<long>(left / 1000000), static_cast<long>(left % 1000000)};
  const int found = ::select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &wait);
  if (found == SOCKET_ERROR) return ::WSAGetLastError();
  if (found == 0) return WSAETIMEDOUT;
  if (FD_ISSET(socket, &failed)) {
    int error = 0;
    int length = sizeof error;
    ::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    return error != 0 ? error : WSAECONNRESET;
  }
  return 0;
}

struct AddressListFreer {
  void operator()(ADDRINFOW* list) const { ::FreeAddrInfoW(list); }
};

}  // namespace

struct Connection::Socket {
  Socket() = default;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() {
    if (socket != INVALID_SOCKET) ::closesocket(socket);
  }
  Winsock winsock;  // started first, cleaned up last
  SOCKET socket = INVALID_SOCKET;
};

Connection::Connection(std::unique_ptr<Socket> socket) : socket_(std::move(socket)) {}
Connection::Connection(Connection&& other) noexcept = default;
Connection::~Connection() = default;

Result<Connection> Connection::Open(const std::string& host, const std::string& port, Timeout timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  auto socket = std::make_unique<Socket>();
  if (socket->winsock.Failed()) return WinsockError(socket->winsock.Failed());
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  if (::GetAddrInfoW(Wide(host).c_str(), Wide(port).c_str(), &hints, &found) != 0)
    return WinsockError(::WSAGetLastError());
  const std::unique_ptr<ADDRINFOW, AddressListFreer> addresses(found);
  int error = WSAETIMEDOUT;
  for (const ADDRINFOW* address = found; address; address = address->ai_next) {
    if (socket->socket != INVALID_SOCKET) ::closesocket(socket->socket);
    socket->socket = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
    if (socket->socket == INVALID_SOCKET) {
      error = ::WSAGetLastError();
      continue;
    }
    u_long nonblocking = 1;
    if (::ioctlsocket(socket->socket, FIONBIO, &nonblocking) != 0) {
      error = ::WSAGetLastError();
      continue;
    }
    if (::connect(socket->socket, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0)
      return Connection(std::move(socket));
    error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) continue;
    error = Await(socket->socket, true, deadline);
    if (error == 0) return Connection(std::move(socket));
  }
  return WinsockError(error);
}

Result<> Connection::Send(std::string_view bytes, Timeout timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!bytes.empty()) {
    const int part = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
    const int sent = ::send(socket_->socket, bytes.data(), part, 0);
    if (sent != SOCKET_ERROR) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (const int error = ::WSAGetLastError(); error != WSAEWOULDBLOCK) return WinsockError(error);
    if (const int error = Await(socket_->socket, true, deadline)) return WinsockError(error);
  }
  return {};
}

Result<std::string> Connection::Receive(const std::function<bool(std::string_view)>& enough,
                                        Timeout timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  std::string received;
  while (!enough(received)) {
    if (const int error = Await(socket_->socket, false, deadline)) {
      if (error != WSAETIMEDOUT) return WinsockError(error);
      if (!received.empty()) break;
      return Refusal(L"no answer within " + std::to_wstring(timeout.count() / 1000) + L" s");
    }
    char buffer[512];
    const int got = ::recv(socket_->socket, buffer, sizeof buffer, 0);
    if (got == 0) break;
    if (got == SOCKET_ERROR) {
      if (const int error = ::WSAGetLastError(); error != WSAEWOULDBLOCK) return WinsockError(error);
      continue;
    }
    received.append(buffer, static_cast<std::size_t>(got));
  }
  return received;
}

void Connection::Finish(Timeout wait) {
  ::shutdown(socket_->socket, SD_SEND);
  (void)Receive([](std::string_view) { return false; }, wait);
}
