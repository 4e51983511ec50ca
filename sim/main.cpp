// r9050-sim: plays the sensors, the RS-232 peer and the power supply of an
// R9050 meter on a simulated device root (see the README for the commands).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "control_server.h"
#include "simulator.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int) { stopRequested = 1; }

void usage(std::FILE* out) {
  std::fprintf(out,
               "usage: r9050-sim --root DIR [--serial1 MODEL] [--serial2 MODEL] [--usb1 MODEL] [--usb2 MODEL]\n"
               "                 [--unpaced] [--usb-timeout TENTHS] [--control SOCKET] [--no-stdin]\n"
               "       r9050-sim --send SOCKET COMMAND...\n"
               "Builds (or attaches to) the device root DIR, plugs in the sensors named, prints\n"
               "\"READY\" and then takes control commands, one a line, from standard input and\n"
               "from the Unix socket SOCKET (default DIR/sim/control.sock):\n\n%s",
               Simulator_help());
}

struct Arguments {
  SimOptions options;
  std::vector<std::string> plugs;  // control lines run at start
  std::string control;
  bool readStdin = true;
};

bool parseTenths(const char* text, int& value) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < 0 || v > 255) return false;
  value = static_cast<int>(v);
  return true;
}

// Returns false (after a message) for a malformed command line.
bool parse(int argc, char** argv, Arguments& a) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--unpaced") {
      a.options.paced = false;
    } else if (arg == "--no-stdin") {
      a.readStdin = false;
    } else if (arg == "--root" && hasValue) {
      a.options.root = std::filesystem::absolute(argv[++i]).lexically_normal().string();
      while (a.options.root.size() > 1 && a.options.root.back() == '/') a.options.root.pop_back();
    } else if (arg == "--control" && hasValue) {
      a.control = argv[++i];
    } else if (arg == "--usb-timeout" && hasValue) {
      if (!parseTenths(argv[++i], a.options.usbTimeoutTenths)) {
        std::fprintf(stderr, "r9050-sim: --usb-timeout takes tenths of a second, 0 to 255\n");
        return false;
      }
    } else if ((arg == "--serial1" || arg == "--serial2" || arg == "--usb1" || arg == "--usb2") && hasValue) {
      a.plugs.push_back("plug " + std::string(arg.substr(2)) + " " + argv[++i]);
    } else {
      std::fprintf(stderr, "r9050-sim: unknown or incomplete argument \"%s\"\n", argv[i]);
      return false;
    }
  }
  if (a.options.root.empty()) {
    std::fprintf(stderr, "r9050-sim: --root DIR is required\n");
    return false;
  }
  if (a.control.empty()) a.control = a.options.root + "/sim/control.sock";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    usage(stdout);
    return 0;
  }
  if (argc > 3 && std::string_view(argv[1]) == "--send") {
    std::string command;
    for (int i = 3; i < argc; ++i) command += (i > 3 ? " " : "") + std::string(argv[i]);
    return ControlServer_send(argv[2], command);
  }
  Arguments a;
  if (!parse(argc, argv, a)) {
    usage(stderr);
    return 2;
  }
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::signal(SIGPIPE, SIG_IGN);
  try {
    Simulator sim(a.options);
    for (const std::string& line : a.plugs) {
      const std::string answer = sim.control(line);
      if (answer.rfind("OK", 0) != 0) {
        std::fprintf(stderr, "r9050-sim: %s: %s\n", line.c_str(), answer.c_str());
        return 2;
      }
    }
    ControlServer_run(sim, a.control, a.readStdin, stopRequested, [&] {
      std::printf("READY root=%s control=%s\n", sim.root().c_str(), a.control.c_str());
      std::fflush(stdout);
    });
  } catch (const std::exception& e) {
    std::fprintf(stderr, "r9050-sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
