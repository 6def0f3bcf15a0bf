// Memory streams for the targets that drive zkhex2bin's conversion.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

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

// A write stream whose bytes land in a string when it is closed.
struct MemoryOut {
    char* buffer = nullptr;
    std::size_t length = 0;
    std::FILE* stream = open_memstream(&buffer, &length);

    std::string close()
    {
        std::fclose(stream);
        std::string bytes(buffer, length);
        std::free(buffer);
        return bytes;
    }
};
