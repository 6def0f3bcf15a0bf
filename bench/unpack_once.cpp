// Reads a packed stream and unpacks it once with the desktop decoder to
// standard output (-run), or does everything but the unpacking (-dry):
// bench/runtime.sh counts the instructions of both runs, whose difference
// is the decoder's.
//
// usage: unpack_once -run|-dry STREAM
#include "unpack.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const bool dry = std::strcmp(argv[1], "-dry") == 0;
    std::ifstream f(argv[2], std::ios::binary);
    const std::vector<std::uint8_t> stream{std::istreambuf_iterator<char>(f), {}};
    if (stream.size() < zk::kPackHeaderSize) return 1;
    std::vector<std::uint8_t> out(zk::pack_orig_size(stream.data()));
    const int code = dry ? 0 : zk::unpack_stream(stream.data(), stream.size(), out.data(), out.size());
    std::fwrite(out.data(), 1, out.size(), stdout);
    return code;
}
