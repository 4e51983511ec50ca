// scpi-probe: one SCPI engine context over standard input and output, with
// the IEEE 488.2 and status commands only (scpi_core_commands). Every chunk read is handed to the
// engine as it arrives; end of input executes whatever is still buffered.
#include <scpi/scpi.h>

#include <cerrno>
#include <unistd.h>

namespace {

size_t WriteOut(scpi_t* /*context*/, const char* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::write(STDOUT_FILENO, data + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}


const scpi_interface_t kInterface = {nullptr, WriteOut, nullptr, nullptr, nullptr};

}  // namespace

int main() {
  scpi_t context;
  char input_buffer[256];
  scpi_error_t error_queue[17];
  SCPI_Init(&context, scpi_core_commands, &kInterface, scpi_units_def, "TALVEK", "PROBE", "1", "1.0", input_buffer,
            sizeof input_buffer, error_queue, 17);
  char chunk[256];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    SCPI_Input(&context, chunk, static_cast<size_t>(n));
  }
  SCPI_Input(&context, nullptr, 0);
  return 0;
}
