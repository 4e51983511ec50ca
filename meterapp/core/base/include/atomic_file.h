// Replacing a file that holds user data so that it always reads as either its
// old or its new content, whatever moment the power fails or the process dies.
//
// The new content goes to "<path>.new" beside the file, is flushed to the disk,
// and is then renamed over the file; the folder is flushed last so the rename
// itself survives a power loss. A ".new" file left by an interrupted write is
// simply overwritten by the next one. The file keeps its permission bits, and
// a file that is a symbolic link stays one: the file it points to is replaced.
// Writers in one process take turns, so two threads saving at the same moment
// never share the ".new" file; the last one to finish wins whole.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

// Returns 0 on success; otherwise -1 with errno set, after a diagnostic that
// names the failed step. The old file is untouched on failure.
int AtomicFile_replace(const std::string& path, std::string_view content, mode_t newFileMode = 0644);

// Reads a whole file of at most `maxBytes`. Returns false (errno set; EFBIG
// for a larger file) when it cannot be read.
bool AtomicFile_read(const std::string& path, std::string& content,
                     std::size_t maxBytes = std::numeric_limits<std::size_t>::max());
