// The far side of a network port in the tests: a TCP listener on 127.0.0.1 that the test plays the
// device server on, byte for byte.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

namespace corvella::test {

class LoopbackServer {
 public:
  explicit LoopbackServer(int backlog = 4) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, backlog) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      Close(listener_);
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackServer() {
    Close(peer_);
    Close(listener_);
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool Ok() const { return port_ > 0; }
  int Port() const { return port_; }
  std::string Url(std::string_view scheme) const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
  }
  int Listener() const { return listener_; }

  // Takes the next connection; false when none came within `timeoutMs`.
  bool Accept(int timeoutMs = 3000) {
    pollfd pfd{listener_, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) != 1) return false;
    Close(peer_);
    peer_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return peer_ >= 0;
  }

  bool Send(std::string_view bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t put = ::send(peer_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (put <= 0) return false;
      sent += static_cast<std::size_t>(put);
    }
    return true;
  }

  // Reads until `count` bytes came or `timeoutMs` passed without any byte.
  std::string Receive(std::size_t count, int timeoutMs = 3000) {
    std::string got;
    while (got.size() < count) {
      pollfd pfd{peer_, POLLIN, 0};
      if (::poll(&pfd, 1, timeoutMs) != 1) break;
      char buffer[4096];
      const ssize_t n = ::recv(peer_, buffer, std::min(sizeof buffer, count - got.size()), 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }

  // Ends the connection: an orderly close, or a reset (what a rebooting device server sends).
  void Hangup(bool reset) {
    if (reset && peer_ >= 0) {
      const linger abort{1, 0};
      ::setsockopt(peer_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    Close(peer_);
  }
  void StopListening() { Close(listener_); }

 private:
  static void Close(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  int listener_ = -1;
  int peer_ = -1;
  int port_ = -1;
};

}  // namespace corvella::test
