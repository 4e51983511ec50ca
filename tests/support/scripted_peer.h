// A USB sensor played by a script on the master side of a pseudo-terminal:
// each message the meter sends is recorded, and the next step of the script
// that expects it answers. Used where a fault must be exact.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "pty.h"
#include "unique_fd.h"

class ScriptedPeer {
 public:
  struct Step {
    std::string expect;                // the message without its line feed
    std::optional<std::string> reply;  // sent as one write; none: stay silent
  };

  // Reads on the meter's side give up after readTimeoutTenths when nothing comes.
  explicit ScriptedPeer(std::vector<Step> script, int readTimeoutTenths = 3)
      : pty_(readTimeoutTenths), script_(script.begin(), script.end()) {
    meterFd_.reset(::open(pty_.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
  }

  // The descriptor the code under test uses.
  int fd() const { return meterFd_.get(); }

  // Every message received so far, in order.
  std::vector<std::string> received() {
    settle();
    std::lock_guard guard(lock_);
    return received_;
  }

 private:
  // Lets messages already written reach the peer before they are inspected.
  static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }

  void run(const std::stop_token& stop) {
    std::string pending;
    while (!stop.stop_requested()) {
      pollfd p{pty_.master(), POLLIN, 0};
      if (::poll(&p, 1, 10) <= 0) continue;
      char bytes[512];
      const ssize_t n = ::read(pty_.master(), bytes, sizeof bytes);
      if (n <= 0) continue;
      pending.append(bytes, static_cast<std::size_t>(n));
      for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        answer(pending.substr(0, end));
        pending.erase(0, end + 1);
      }
    }
  }

  void answer(const std::string& message) {
    std::optional<std::string> reply;
    {
      std::lock_guard guard(lock_);
      received_.push_back(message);
      if (!script_.empty() && script_.front().expect == message) {
        reply = script_.front().reply;
        script_.pop_front();
      }
    }
    if (reply) (void)!::write(pty_.master(), reply->data(), reply->size());
  }

  Pty pty_;
  UniqueFd meterFd_;
  std::mutex lock_;
  std::deque<Step> script_;
  std::vector<std::string> received_;
  std::jthread thread_;
};
