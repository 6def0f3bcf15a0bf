#include "frame.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zk {

// __DATE__ and __TIME__ follow SOURCE_DATE_EPOCH when the build sets it.
static constexpr const char kBuildStamp[] = __DATE__ " " __TIME__;

// A tool started with standard output or error closed would hand that
// descriptor to the first file it opens, and its messages would land in
// that file. Holding the slots with a read-only /dev/null keeps them taken
// while writes to them still fail, as they would on the closed stream.
static const bool std_streams_held = [] {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && open("/dev/null", O_RDONLY) != fd) return false;
    return true;
}();

void print_banner(const ToolId& id)
{
    std::printf("\n%s %s - Vardelle %s\n", id.display_name, id.version, kSuiteVersion);
    std::printf("TI-89/TI-92 Plus build tools, built %s\n\n", kBuildStamp);
}

void print_usage(const ToolId& id, const char* usage_text)
{
    if (id.banner == BannerKind::QuietCapable) print_banner(id);
    std::fputs(usage_text, stdout);
}

File open_file(const char* name, const char* mode)
{
    return File(std::fopen(name, mode));
}

bool close_checked(File& f)
{
    std::FILE* stream = f.release();
    if (!stream) return false;
    bool ok = std::fflush(stream) == 0 && !std::ferror(stream);
    return std::fclose(stream) == 0 && ok;
}

bool output_is_input(std::FILE* in, const char* name)
{
    struct stat input, output;
    if (fstat(fileno(in), &input) != 0 || stat(name, &output) != 0) return false;
    if (input.st_dev != output.st_dev || input.st_ino != output.st_ino) return false;
    std::fprintf(stderr, "ERROR: outputfile %s is the inputfile\n", name);
    return true;
}

int fail_output(const char* name)
{
    std::fprintf(stderr, "ERROR: cannot write outputfile %s\n", name);
    return 1;
}

int fail_stdout()
{
    std::fputs("ERROR: cannot write to stdout\n", stderr);
    return 1;
}

int finish(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return fail_stdout();
    return status;
}

}  // namespace zk
