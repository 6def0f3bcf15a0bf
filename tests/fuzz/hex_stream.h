// A memory stream for the targets that read text through a line reader.
#pragma once

#include <cstdio>
#include <cstdlib>

// A read stream over the bytes; fmemopen of zero bytes fails, so an empty
// stream is one byte opened and read past.
inline std::FILE* read_stream(const void* data, std::size_t size)
{
    static char empty;
    std::FILE* f = size ? fmemopen(const_cast<void*>(data), size, "r") : fmemopen(&empty, 1, "r");
    if (!f) std::abort();
    if (!size) std::fgetc(f);
    return f;
}
