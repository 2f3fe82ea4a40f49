#pragma once
// Copies out of a read-only file map that another program may shorten at any
// time. Touching a page past the file's new end raises SIGBUS, which would end
// the process; a guarded copy turns it into a failed copy instead, so a reader
// can look at the file's size only when something is wrong rather than before
// every copy.
#include <cstddef>

namespace engine::io {

// Copies size bytes from a mapped file; false when a page of the source is no
// longer backed by the file (the file was shortened). Safe to call from any thread.
bool copyFromMap(void *to, const void *from, std::size_t size);

} // namespace engine::io
