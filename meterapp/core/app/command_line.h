// The meter's command line: "-v" prints the version, "-?" (or any other
// option) the usage; either ends the program with status 0.
#pragma once

constexpr int kCommandLineStart = -1;

// Returns kCommandLineStart to start the meter, or the status to exit with.
// A first argument beginning with "-prog-args" or "--g-fatal-warning"
// switches option parsing off.
int CommandLine_parse(int argc, char** argv);
