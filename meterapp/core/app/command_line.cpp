#include "command_line.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "app_state.h"

int CommandLine_parse(int argc, char** argv) {
  if (argc > 1 && (std::strncmp(argv[1], "-prog-args", 10) == 0 || std::strncmp(argv[1], "--g-fatal-warning", 17) == 0)) {
    return kCommandLineStart;
  }
  bool anyOption = false;
  opterr = 0;
  optind = 1;
  int option;
  while ((option = ::getopt(argc, argv, "?v")) != -1) {
    anyOption = true;
    if (option == 'v') {
      std::printf("%s\n", app_version());
    } else {
      std::printf("meterapp application\nUsage: \n-v\tPrint version\n-?\tPrint this message\n");
    }
  }
  std::fflush(stdout);
  return anyOption ? 0 : kCommandLineStart;
}
