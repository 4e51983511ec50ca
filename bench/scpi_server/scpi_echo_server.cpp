// A bare line-echo server with the SCPI server's socket set-up and loop: a
// non-blocking listener with SO_REUSEADDR and a backlog of one, one client at
// a time, keep-alive, TCP_NODELAY and a send time-out on the client, poll waits, 256-byte
// receives, MSG_NOSIGNAL sends pushed once per reply. Each received line is sent back with CR LF.
// It is the reference the meter's server is measured against.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool sendAll(int fd, const char* data, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = ::send(fd, data + done, length - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void configureClient(int fd) {
  const int on = 1, idle = 10, interval = 5, count = 3;
  const timeval sendTimeout{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
}

void serve(int client) {
  std::array<char, 256> buffer{};
  std::string pending;
  for (;;) {
    pollfd p{client, POLLIN, 0};
    const int ready = ::poll(&p, 1, 5000);
    if (ready < 0) return;
    if (ready == 0) continue;
    const ssize_t n = ::recv(client, buffer.data(), buffer.size(), 0);
    if (n <= 0) return;
    pending.append(buffer.data(), static_cast<std::size_t>(n));
    for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
      std::string reply = pending.substr(0, end);
      reply += "\r\n";
      pending.erase(0, end + 1);
      if (!sendAll(client, reply.data(), reply.size())) return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int port = argc > 1 ? std::atoi(argv[1]) : 0;
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  ::fcntl(listener, F_SETFL, ::fcntl(listener, F_GETFL, 0) | O_NONBLOCK);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 || ::listen(listener, 1) < 0) {
    std::perror("bind/listen");
    return 1;
  }
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  std::printf("listening on port %u\n", ntohs(address.sin_port));
  std::fflush(stdout);
  for (;;) {
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, -1) <= 0) continue;
    const int client = ::accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    configureClient(client);
    serve(client);
    ::close(client);
  }
}
