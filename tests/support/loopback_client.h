// A TCP client on the loopback interface for the tests of the meter's
// servers: connect, send, wait for what comes back, close (gently or with a
// reset, the way a killed client goes).
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace test_support {

class LoopbackClient {
 public:
  explicit LoopbackClient(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;
  ~LoopbackClient() { close(); }

  bool connected() const { return connected_; }

  bool send(std::string_view bytes) const {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }

  // Waits at most `limit` for input and appends what arrived to `text`.
  // False when nothing came: the time was up or the peer closed.
  bool receiveSome(std::string& text, std::chrono::milliseconds limit) const {
    if (limit <= std::chrono::milliseconds(0)) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    text.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  // Closes with a reset (no lingering).
  void abort() {
    const linger l{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close();
  }

  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  bool connected_ = false;
};

}  // namespace test_support
