// One client, request-response: sends a message, waits for its CR LF ended
// reply, and again, for a given time. Prints the number of exchanges, the
// rate and the 50th and 99th percentile of the round-trip time.
//   scpi_rr_client PORT SECONDS [MESSAGE]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s PORT SECONDS [MESSAGE]\n", argv[0]);
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const double seconds = std::atof(argv[2]);
  const std::string message = std::string(argc > 3 ? argv[3] : "*IDN?") + "\n";
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
    std::perror("connect");
    return 1;
  }
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  using Clock = std::chrono::steady_clock;
  std::vector<double> latencies;
  latencies.reserve(1 << 20);
  std::array<char, 4096> buffer{};
  std::string reply;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    const auto sent = Clock::now();
    if (::send(fd, message.data(), message.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(message.size())) break;
    reply.clear();
    while (reply.find("\r\n") == std::string::npos) {
      const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
      if (n <= 0) {
        std::fprintf(stderr, "connection ended\n");
        return 1;
      }
      reply.append(buffer.data(), static_cast<std::size_t>(n));
    }
    latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  ::close(fd);
  if (latencies.empty()) return 1;
  std::sort(latencies.begin(), latencies.end());
  const auto at = [&](double q) { return latencies[static_cast<std::size_t>(q * static_cast<double>(latencies.size() - 1))]; };
  std::printf("exchanges %zu rate %.0f/s p50 %.1f us p99 %.1f us reply %zu bytes\n", latencies.size(),
              static_cast<double>(latencies.size()) / elapsed, at(0.50), at(0.99), reply.size());
  return 0;
}
