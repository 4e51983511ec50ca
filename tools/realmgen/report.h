// Where realmgen's messages go: listings and progress to the output stream,
// problems to the error stream (both follow option -o).
#pragma once

#include <cstdarg>
#include <cstdio>

namespace realmgen {

void out(const char* format, ...) __attribute__((format(printf, 1, 2)));
void err(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace realmgen
