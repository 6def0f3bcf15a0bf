// zkbin2hex and zkhex2bin do not fit one translation unit (both have their
// Settings, run and identity), so zkbin2hex's source is compiled here, in
// an unnamed namespace that keeps all of its names inside this object.
#include "bin2hex_text.h"

#include "frame.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// Its main, renamed, goes unused here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
namespace {
#include "../../convert/zkbin2hex.cpp"
}
#pragma GCC diagnostic pop

bool bin2hex_text(const std::uint8_t* data, std::size_t size, const Bin2HexOptions& options, std::string& text)
{
    static char empty;  // fmemopen of zero bytes fails; no byte of this one is read
    zk::File in(size ? fmemopen(const_cast<std::uint8_t*>(data), size, "r") : fmemopen(&empty, 1, "r"));
    char* buffer = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&buffer, &length);
    if (!in || !out) std::abort();

    Settings s;
    s.item_size = options.item_size;
    s.per_line = options.per_line;
    s.break_period = options.break_period;
    s.slash = options.slash;
    s.array_name = options.array_name;
    const bool ok = write_text(in.get(), out, s, static_cast<std::int64_t>(size), options.block_size) == Convert::Ok;
    std::fclose(out);
    text.assign(buffer, length);
    std::free(buffer);
    return ok;
}
