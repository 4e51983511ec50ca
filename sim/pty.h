// A pseudo-terminal pair that plays one piece of hardware: the simulator
// keeps the master side, the meter opens the slave through a symbolic link
// under the device root.
#pragma once

#include <string>

#include "unique_fd.h"

class Pty {
 public:
  // Opens a new pair in raw mode. With readTimeoutTenths above 0 a read on
  // the slave that finds nothing returns after that time (the way the usbtmc
  // driver times out); otherwise it waits for one byte. Throws on failure.
  explicit Pty(int readTimeoutTenths = 0);

  int master() const { return master_.get(); }
  const std::string& slavePath() const { return slavePath_; }
  // Drops what was sent towards the slave and not read yet (a pulled sensor
  // leaves nothing behind on the line).
  void flushTowardsSlave();

 private:
  UniqueFd master_;
  // Held open so that the pair's settings survive the meter closing its side
  // and so that reading the master never fails while no one has the slave.
  UniqueFd slave_;
  std::string slavePath_;
};
