// A test context: the core commands plus a few test rows whose handler is a
// lambda set by the test, with every callback recorded.
#pragma once

#include <scpi/scpi.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scpi_test {

struct QueuedError {
  int code;
  std::string info;
  bool has_info;
  bool operator==(const QueuedError&) const = default;
};

class Harness {
 public:
  explicit Harness(size_t buffer_length = 256, int16_t queue_size = 17);
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  // Feeds the bytes in one call and returns what was written.
  std::string Send(std::string_view bytes);
  // Feeds the bytes in chunks of the given size, then returns the output.
  std::string SendSplit(std::string_view bytes, size_t chunk);
  // The time-out call (no data).
  std::string Flush();
  // Removes and returns every queued error.
  std::vector<QueuedError> Errors();
  // Codes only.
  std::vector<int> Codes();

  std::vector<scpi_command_t> commands;
  scpi_t context;
  std::vector<char> buffer;
  std::vector<scpi_error_t> queue;
  std::string output;
  std::vector<int> error_calls;
  // Queue length, ESR and STB as the error callback saw them.
  struct ErrorCallState {
    int count;
    uint16_t esr;
    uint16_t stb;
    bool operator==(const ErrorCallState&) const = default;
  };
  std::vector<ErrorCallState> error_states;
  std::vector<std::pair<int, int>> control_calls;
  std::vector<std::size_t> write_sizes;
  int flush_calls = 0;
  int reset_calls = 0;
  scpi_result_t reset_result = SCPI_RES_OK;
  // Handler of the test rows (all rows after the core commands).
  std::function<scpi_result_t(scpi_t*)> on_command;
};

}  // namespace scpi_test
