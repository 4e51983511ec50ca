// The sensor simulator: a device root with two serial sensor ports, two USB
// sensor slots and the RS-232 command port, each played by a thread on the
// master side of a pseudo-terminal. Everything a user or a test changes goes
// through control(), one text line in, one line out.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct SimOptions {
  std::string root;
  bool paced = true;            // serial sensors answer at 9600 baud 8N1
  int usbTimeoutTenths = 50;    // a USB read with no reply returns after this
};

class Simulator {
 public:
  // Builds (or attaches to) the device root and starts the port threads;
  // every sensor starts pulled out. Throws std::runtime_error on failure.
  explicit Simulator(const SimOptions& options);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Runs one control command (see Simulator_help) and returns "OK ..." or
  // "ERR <reason>", without a line end.
  std::string control(std::string_view line);

  bool quitRequested() const;
  const std::string& root() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The control commands, one per line.
const char* Simulator_help();
