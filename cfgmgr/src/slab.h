// Small blocks for values and their texts, carved from slabs by size class.
//
// A configuration tree holds millions of values of a few fixed sizes (24 to
// 40 bytes) and short texts. Taken from malloc each would carry a header and
// round up to the next 16 bytes; carved from slabs it costs its own size
// rounded to 8. Freed blocks go back on their class's free list for the next
// value of that size; slabs themselves stay with the process.
//
// Built with AddressSanitizer every block comes from the global allocator
// instead, so that misuse of a value is still caught where it happens.
#pragma once

#include <cstddef>

namespace Vantor_cfgmgr::detail {

// A block of size bytes, 8-aligned; throws std::bad_alloc.
void* SlabAllocate(size_t size);
// Gives back a block from SlabAllocate with the same size.
void SlabFree(void* block, size_t size) noexcept;

} // namespace Vantor_cfgmgr::detail
