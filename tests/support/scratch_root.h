// A scratch device root: a scratch folder made the meter platform's root for
// as long as it lives; device paths written and read through it land under
// the folder. Tests that use it link the meter's platform module.
#pragma once

#include <string>
#include <string_view>

#include "platform.h"
#include "scratch.h"

namespace test_support {

class ScratchRoot : public ScratchDir {
 public:
  ScratchRoot() : ScratchDir("meter-root") { Platform_setRoot(str()); }
  ~ScratchRoot() { Platform_setRoot(""); }
  ScratchRoot(const ScratchRoot&) = delete;
  ScratchRoot& operator=(const ScratchRoot&) = delete;

  // A device path ("/etc/...") on the host.
  std::string host(std::string_view devicePath) const { return file(devicePath); }
  // The system-log messages mirrored under the root so far.
  std::string messages() const { return read("/var/log/messages"); }
};

}  // namespace test_support
