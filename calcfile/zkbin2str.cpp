// zkbin2str: wraps the bytes of any file into a string variable file for
// the TI-89 or the TI-92 Plus, named after the variable.
#include "calcfile.h"
#include "frame.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

static constexpr const zk::ToolId& kId = zk::tool("zkbin2str");

static constexpr const char kUsage[] =
    "Usage: zkbin2str <-s89 | -s92> <infile> <name> [folder]\n"
    "\n"
    "       -s89  ....  generate TI89 string\n"
    "       -s92  ....  generate TI92 string\n"
    "       -f    ....  don't print a warning if the string contains at least one 0x00\n"
    "       (strings containing 0x00 may prove problematic to transfer using TI-Connect)\n"
    "\n"
    "       enwraps any file into a TI89 or TI92 string variable\n";

struct Settings {
    const char* infile = nullptr;
    const char* varname = nullptr;
    const char* folder = nullptr;  // none: the variable goes to "main"
    bool kind_given = false;
    zk::CalcKind kind = zk::CalcKind::Ti89;
    bool allow_zero = false;
};

enum class ReadResult { Ok, TooLong, ReadError };

// Reads the whole input into content, stopping as soon as it is longer
// than a string variable can hold.
ReadResult read_content(std::FILE* in, std::vector<std::uint8_t>& content)
{
    const std::size_t limit = zk::kCalcMaxStringLength;
    std::uint8_t chunk[1 << 14];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
        if (content.size() + got > limit) return ReadResult::TooLong;
        content.insert(content.end(), chunk, chunk + got);
    }
    return std::ferror(in) ? ReadResult::ReadError : ReadResult::Ok;
}

static int run(const Settings& s)
{
    std::vector<std::uint8_t> content;
    {
        zk::File in = zk::open_file(s.infile, "rb");
        if (!in) {
            zk::eprint("ERROR: cannot open inputfile %s\n", s.infile);
            return 1;
        }
        switch (read_content(in.get(), content)) {
        case ReadResult::Ok:
            break;
        case ReadResult::TooLong:
            zk::eprint("ERROR: inputfile %s is too long for a string (more than %d bytes)\n", s.infile,
                         static_cast<int>(zk::kCalcMaxStringLength));
            return 1;
        case ReadResult::ReadError:
            zk::eprint("ERROR: cannot read inputfile %s\n", s.infile);
            return 1;
        }
    }

    const std::string outfile = std::string(s.varname) + (s.kind == zk::CalcKind::Ti89 ? ".89s" : ".9xs");
    zk::File out = zk::open_file(outfile.c_str(), "wb");
    if (!out) {
        zk::eprint("ERROR: cannot open outputfile %s\n", outfile.c_str());
        return 1;
    }
    const std::int32_t written = zk::write_string_file(out.get(), s.kind, s.folder, s.varname, content.data(),
                                                       static_cast<std::int32_t>(content.size()), s.allow_zero);
    if (!zk::close_checked(out)) return zk::fail_output(outfile.c_str());
    zk::eprint("%d bytes written to %s\n", static_cast<int>(written), outfile.c_str());
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    zk::print_banner(kId);
    if (argc < 4) {
        zk::print_usage(kId, kUsage);
        return zk::finish(1);
    }
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-s89") == 0) {
            s.kind_given = true;
            s.kind = zk::CalcKind::Ti89;
        } else if (std::strcmp(arg, "-s92") == 0) {
            s.kind_given = true;
            s.kind = zk::CalcKind::Ti92Plus;
        } else if (std::strcmp(arg, "-f") == 0) {
            s.allow_zero = true;
        } else if (arg[0] == '-') {
            zk::eprint("ERROR: invalid option %s", arg);
            return zk::finish(1);
        } else if (!s.infile) {
            s.infile = arg;
        } else if (!s.varname) {
            s.varname = arg;
        } else if (!s.folder) {
            s.folder = arg;
        } else {
            zk::print_usage(kId, kUsage);
            return zk::finish(1);
        }
    }
    if (!s.infile || !s.varname || !s.kind_given) {
        zk::print_usage(kId, kUsage);
        return zk::finish(1);
    }
    return zk::finish(run(s));
}
