#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/utf8.h"
#include "printer/connection.h"

namespace {

using Clock = std::chrono::steady_clock;

Failure Errno(int error) { return SystemFailure(Wide(std::strerror(error))); }

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until the socket is ready for events; ETIMEDOUT past the deadline.
int Await(int socket, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd polled{socket, events, 0};
    const int ready = ::poll(&polled, 1, MillisecondsLeft(deadline));
    if (ready > 0) return 0;
    if (ready == 0) return ETIMEDOUT;
    if (errno != EINTR) return errno;
  }
}

struct AddressListFreer {
  void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

}  // namespace

struct Connection::Socket {
  explicit Socket(int descriptor) : fd(descriptor) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() { ::close(fd); }
  int fd;
};

Connection::Connection(std::unique_ptr<Socket> socket) : socket_(std::move(socket)) {}
Connection::Connection(Connection&& other) noexcept = default;
Connection::~Connection() = default;

Result<Connection> Connection::Open(const std::string& host, const std::string& port, Timeout timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int failed = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); failed != 0)
    return failed == EAI_SYSTEM ? Errno(errno) : SystemFailure(Wide(::gai_strerror(failed)));
  const std::unique_ptr<addrinfo, AddressListFreer> addresses(found);
  int error = ETIMEDOUT;
  for (const addrinfo* address = found; address; address = address->ai_next) {
    const int fd = ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                            address->ai_protocol);
    if (fd < 0) {
      error = errno;
      continue;
    }
    auto socket = std::make_unique<Socket>(fd);
    if (::connect(fd, address->ai_addr, address->ai_addrlen) == 0) return Connection(std::move(socket));
    if (errno != EINPROGRESS) {
      error = errno;
      continue;
    }
    error = Await(fd, POLLOUT, deadline);
    socklen_t length = sizeof error;
    if (error == 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error == 0) return Connection(std::move(socket));
  }
  return Errno(error);
}

Result<> Connection::Send(std::string_view bytes, Timeout timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!bytes.empty()) {
    // MSG_NOSIGNAL: a printer that closed is an error to say, not a SIGPIPE.
    const ssize_t sent = ::send(socket_->fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Errno(errno);
    if (const int error = Await(socket_->fd, POLLOUT, deadline)) return Errno(error);
  }
  return {};
}

Result<std::string> Connection::Receive(const std::function<bool(std::string_view)>& enough,
                                        Timeout timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  std::string received;
  while (!enough(received)) {
    if (const int error = Await(socket_->fd, POLLIN, deadline)) {
      if (error != ETIMEDOUT) return Errno(error);
      if (!received.empty()) break;
      return Refusal(L"no answer within " + std::to_wstring(timeout.count() / 1000) + L" s");
    }
    char buffer[512];
    const ssize_t got = ::recv(socket_->fd, buffer, sizeof buffer, 0);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return Errno(errno);
    }
    received.append(buffer, static_cast<std::size_t>(got));
  }
  return received;
}

void Connection::Finish(Timeout wait) {
  ::shutdown(socket_->fd, SHUT_WR);
  (void)Receive([](std::string_view) { return false; }, wait);
}
