// A scripted C60x sensor on the master side of a pseudo-terminal, for tests
// that need exact control of the replies: settable identity, memory and
// readings, plus the faults a real line produces (a short reply, a sender
// that never stops, a reply that is held back until the test releases it).
#pragma once

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "sensor_float.h"

namespace test_support {

struct ScriptedIdentity {
  std::string model = "C604";       // padded with 0xFF to 8 bytes
  std::string firmware = "1.02";    // padded with NUL to 8 bytes
  std::string capabilities = "FRHTSIZ";  // padded with spaces to 16 bytes
  float maxPower = 150.0F;
  float minPower = 0.001F;
};

// Sensor-float word of `value`, most significant byte first.
inline std::string sensorWord(float value) {
  const std::uint32_t word = floatIeeeToTalvek(value);
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>((word >> (24 - 8 * i)) & 0xFF);
  return bytes;
}

inline std::string identityReply(const ScriptedIdentity& id) {
  std::string model = id.model.substr(0, 8);
  model.resize(8, '\xFF');
  std::string firmware = id.firmware.substr(0, 8);
  firmware.resize(8, '\0');
  std::string capabilities = id.capabilities.substr(0, 16);
  capabilities.resize(16, ' ');
  return model + firmware + capabilities + sensorWord(id.maxPower) + sensorWord(id.minPower);
}

class ScriptedSensor {
 public:
  // Readings as the sensor sends them: power values are square roots.
  struct Readings {
    float forwardRoot = 10.0F;
    float reflectedRoot = 2.0F;
    float frequency = 915.0F;
    float temperature = 23.5F;
  };

  explicit ScriptedSensor(int master) : master_(master) {
    termios t{};
    if (::tcgetattr(master_, &t) == 0) {
      ::cfmakeraw(&t);
      ::tcsetattr(master_, TCSANOW, &t);
    }
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
  }
  ScriptedSensor(const ScriptedSensor&) = delete;
  ScriptedSensor& operator=(const ScriptedSensor&) = delete;
  ~ScriptedSensor() {
    thread_.request_stop();
    release();
  }

  void setIdentity(const ScriptedIdentity& identity) {
    std::lock_guard guard(mutex_);
    identity_ = identity;
  }
  // The nine serial-number bytes at 0x30..0x38; `status` is the status byte
  // of every answer (0 = valid).
  void setMemory(const std::string& nineBytes, char status = 0) {
    std::lock_guard guard(mutex_);
    memory_ = nineBytes;
    memoryStatus_ = status;
  }
  void setReadings(const Readings& readings) {
    std::lock_guard guard(mutex_);
    readings_ = readings;
  }
  // Every reading of cycle k (counted at each "F") is k: forward and
  // reflected power then read k squared.
  void countCycles(bool on) { counting_ = on; }
  // Every n-th "F" gets a 3-byte reply, and each such fault swaps the
  // identity between the two given ones.
  void faultEvery(int n, const ScriptedIdentity& a, const ScriptedIdentity& b) {
    std::lock_guard guard(mutex_);
    faultEvery_ = n;
    alternate_ = {a, b};
    identity_ = a;
  }
  void shortReplyToNextForward() { shortForward_ = true; }
  // The next time `command` arrives, send `bytes` instead of its reply
  // (empty: no reply at all).
  void replyNextWith(char command, const std::string& bytes) {
    std::lock_guard guard(mutex_);
    overrides_[command] = bytes;
  }
  // While on, the sensor sends bytes without pause and answers nothing.
  void setBabbling(bool on) { babbling_ = on; }
  // The next time `command` arrives, hold the reply until release() or until
  // another command is to be held.
  void holdNext(char command) {
    {
      std::lock_guard guard(mutex_);
      holdCommand_ = command;
      held_ = false;
    }
    releaseCv_.notify_all();
  }
  bool isHolding() const {
    std::lock_guard guard(mutex_);
    return held_;
  }
  void release() {
    {
      std::lock_guard guard(mutex_);
      holdCommand_ = 0;
    }
    releaseCv_.notify_all();
  }

  // The commands received so far, one letter each ("Z" for a memory read).
  std::string commands() const {
    std::lock_guard guard(mutex_);
    return commands_;
  }
  std::size_t bytesReceived() const { return bytesReceived_; }
  // Every byte received so far, as it came off the line.
  std::string received() const {
    std::lock_guard guard(mutex_);
    return received_;
  }
  int faults() const { return faults_; }

 private:
  void run(const std::stop_token& stop) {
    std::string pending;
    while (!stop.stop_requested()) {
      if (babbling_) {
        (void)::write(master_, "xxxxxxxx", 8);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      struct pollfd p {master_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      char buffer[64];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        continue;
      }
      bytesReceived_ += static_cast<std::size_t>(n);
      {
        std::lock_guard guard(mutex_);
        received_.append(buffer, static_cast<std::size_t>(n));
      }
      pending.append(buffer, static_cast<std::size_t>(n));
      while (!pending.empty() && handle(pending, stop)) {
      }
    }
  }

  // Answers the first command of `pending`; false while it is incomplete.
  bool handle(std::string& pending, const std::stop_token& stop) {
    const char command = pending.front();
    unsigned char address = 0;
    if (command == 'Z') {
      if (pending.size() < 3) return false;
      address = static_cast<unsigned char>(pending[2]);
      pending.erase(0, 3);
    } else {
      pending.erase(0, 1);
    }
    {
      std::unique_lock lock(mutex_);
      commands_.push_back(command);
      if (command == holdCommand_) {
        held_ = true;
        releaseCv_.wait(lock, [&] { return holdCommand_ != command || stop.stop_requested(); });
        if (holdCommand_ == 0) held_ = false;
      }
    }
    const std::string reply = replyTo(command, address);
    if (!reply.empty()) (void)::write(master_, reply.data(), reply.size());
    return true;
  }

  std::string replyTo(char command, unsigned char address) {
    std::lock_guard guard(mutex_);
    if (const auto o = overrides_.find(command); o != overrides_.end()) {
      std::string bytes = o->second;
      overrides_.erase(o);
      return bytes;
    }
    switch (command) {
      case 'S': return "S";
      case 'I': return identityReply(identity_);
      case 'Z': {
        const std::size_t i = address - 0x30U;
        if (i >= memory_.size()) return {};
        return std::string{memory_[i], memoryStatus_};
      }
      case 'F': {
        ++cycle_;
        const bool fault = shortForward_.exchange(false) || (faultEvery_ > 0 && cycle_ % faultEvery_ == 0);
        const std::string word = sensorWord(value(readings_.forwardRoot));
        if (!fault) return word;
        ++faults_;
        if (faultEvery_ > 0) identity_ = (identity_.model == alternate_[0].model) ? alternate_[1] : alternate_[0];
        return word.substr(0, 3);
      }
      case 'R': return sensorWord(value(readings_.reflectedRoot));
      case 'H': return sensorWord(value(readings_.frequency));
      case 'T': return sensorWord(value(readings_.temperature));
      default: return {};
    }
  }

  float value(float scripted) const { return counting_ ? static_cast<float>(cycle_) : scripted; }

  int master_;
  mutable std::mutex mutex_;
  std::condition_variable releaseCv_;
  ScriptedIdentity identity_;
  std::array<ScriptedIdentity, 2> alternate_{};
  std::string memory_ = "12345678\xFF";
  char memoryStatus_ = 0;
  Readings readings_;
  std::string commands_;
  std::string received_;
  std::map<char, std::string> overrides_;
  char holdCommand_ = 0;
  bool held_ = false;
  int faultEvery_ = 0;
  long cycle_ = 0;
  std::atomic<bool> counting_{false};
  std::atomic<bool> shortForward_{false};
  std::atomic<bool> babbling_{false};
  std::atomic<std::size_t> bytesReceived_{0};
  std::atomic<int> faults_{0};
  std::jthread thread_;  // last: stopped before the members it uses go away
};

// Polls `condition` every 5 ms for at most `limit`; true once it holds.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(15000)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace test_support
