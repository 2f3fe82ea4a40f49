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

// A piece of each record to copy: offset and size inside the record.
struct ByteRange {
    std::size_t offset;
    std::size_t size;
};

// Gathers pieces of count records of a mapped file: the ranges of record
// records[i] (at from + records[i] * fromStride) go to the same places of
// to + i * toStride. Reading only the bytes a walk needs leaves the rest of
// each record untouched. False when a page is no longer backed by the file.
bool gatherFromMap(char *to, std::size_t toStride, const char *from, std::size_t fromStride, const long long *records,
                   std::size_t count, const ByteRange *ranges, std::size_t rangeCount);

} // namespace engine::io
