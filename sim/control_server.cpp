#include "control_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>

#include "simulator.h"
#include "unique_fd.h"

namespace {

constexpr std::size_t kMaxLine = 4096;

sockaddr_un address(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) throw std::runtime_error("control socket path too long: " + path);
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return addr;
}

UniqueFd listenOn(const std::string& path) {
  const sockaddr_un addr = address(path);
  ::unlink(path.c_str());
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid() || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(fd.get(), 8) != 0) {
    throw std::runtime_error("control socket " + path + ": " + std::strerror(errno));
  }
  return fd;
}

void writeLine(int fd, std::string text) {
  text.push_back('\n');
  std::string_view rest(text);
  while (!rest.empty()) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Answers every complete line in `pending`; false when the peer sent an
// over-long line (it is then disconnected).
bool answerLines(Simulator& sim, std::string& pending, int replyFd) {
  for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
    std::string line = pending.substr(0, end);
    pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    writeLine(replyFd, sim.control(line));
  }
  if (pending.size() > kMaxLine) {
    writeLine(replyFd, "ERR line too long");
    return false;
  }
  return true;
}

}  // namespace

void ControlServer_run(Simulator& sim, const std::string& socketPath, bool readStdin, const volatile int& stopFlag,
                       const std::function<void()>& onListening) {
  UniqueFd listener = listenOn(socketPath);
  onListening();
  std::map<int, std::pair<UniqueFd, std::string>> clients;
  std::string stdinPending;
  bool stdinOpen = readStdin;
  while (!sim.quitRequested() && stopFlag == 0) {
    std::vector<pollfd> fds{{listener.get(), POLLIN, 0}};
    if (stdinOpen) fds.push_back({STDIN_FILENO, POLLIN, 0});
    for (const auto& [fd, client] : clients) fds.push_back({fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), 100) <= 0) continue;
    for (const pollfd& p : fds) {
      if (p.revents == 0) continue;
      if (p.fd == listener.get()) {
        const int fd = ::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) clients.emplace(fd, std::make_pair(UniqueFd(fd), std::string()));
        continue;
      }
      char bytes[512];
      const ssize_t n = ::read(p.fd, bytes, sizeof bytes);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (p.fd == STDIN_FILENO) {
        if (n <= 0) {
          stdinOpen = false;
          continue;
        }
        stdinPending.append(bytes, static_cast<std::size_t>(n));
        if (!answerLines(sim, stdinPending, STDOUT_FILENO)) stdinPending.clear();
        continue;
      }
      const auto client = clients.find(p.fd);
      if (client == clients.end()) continue;
      if (n <= 0) {
        clients.erase(client);
        continue;
      }
      std::string& pending = client->second.second;
      pending.append(bytes, static_cast<std::size_t>(n));
      if (!answerLines(sim, pending, p.fd)) clients.erase(client);
    }
  }
  ::unlink(socketPath.c_str());
}

int ControlServer_send(const std::string& socketPath, const std::string& command) {
  sockaddr_un addr{};
  try {
    addr = address(socketPath);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "r9050-sim: %s\n", e.what());
    return 2;
  }
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid() || ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    std::fprintf(stderr, "r9050-sim: cannot reach %s: %s\n", socketPath.c_str(), std::strerror(errno));
    return 2;
  }
  writeLine(fd.get(), command);
  std::string answer;
  char c = 0;
  while (::read(fd.get(), &c, 1) == 1 && c != '\n') answer.push_back(c);
  std::printf("%s\n", answer.c_str());
  return answer.rfind("OK", 0) == 0 ? 0 : 1;
}
