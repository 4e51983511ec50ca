// The simulator's control interface: text lines from standard input and
// from clients of a Unix stream socket, each answered by one line.
#pragma once

#include <functional>
#include <string>

class Simulator;

// Serves until the simulator is told to quit or `stopFlag` is set (by a
// signal). With readStdin, lines from standard input are answered on
// standard output; the end of standard input only stops reading it.
// `onListening` runs once the socket takes connections. Throws
// std::runtime_error when the socket cannot be made.
void ControlServer_run(Simulator& sim, const std::string& socketPath, bool readStdin, const volatile int& stopFlag,
                       const std::function<void()>& onListening);

// Connects to a running simulator, sends one command line and prints its
// answer. Returns 0 when the answer begins with "OK", else 1 (2 when the
// socket cannot be reached).
int ControlServer_send(const std::string& socketPath, const std::string& command);
