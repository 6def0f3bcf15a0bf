// Command-line test support: runs the real tools in a fresh temporary
// directory and captures everything they say and write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zktest {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(const std::string& s);
std::string string_of(const Bytes& b);

// n bytes of a fixed pseudo-random sequence.
Bytes random_bytes(std::size_t n, unsigned seed);

// A directory of its own for one test case, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

    void write(const std::string& name, const Bytes& data) const;
    void write(const std::string& name, const std::string& text) const;
    Bytes read(const std::string& name) const;
    std::string read_text(const std::string& name) const;
    // A text file a tool wrote in text mode (C source), with its line ends
    // as "\n" whatever the platform of the tool.
    std::string read_c_text(const std::string& name) const;
    bool exists(const std::string& name) const;
    // A link named name that points to /dev/full, for output failures.
    void link_to_full(const std::string& name) const;
    // Every entry of the directory, sorted.
    std::vector<std::string> list() const;

private:
    std::filesystem::path path_;
};

struct RunOptions {
    std::string stdin_data;
    bool stdin_closed = false;
    std::string stdout_to;  // a path (in the temp dir) to send standard output to
    bool stdout_closed = false;
    bool merge_stderr = false;  // standard error into standard output, as a build log has them
    std::vector<std::string> env;  // "NAME=value" settings added to the tool's environment
    // Limits of the run, in bytes (prlimit): the largest file it may write
    // (a write past it fails, SIGXFSZ being ignored), and its address space.
    long long file_size_limit = -1;
    long long address_space_limit = -1;
};

struct RunResult {
    int status = -1;  // exit status, or -1 when the tool died of a signal
    std::string out;
    std::string err;
    // The largest resident set of the run, in KiB; it starts from the test
    // process's own, which the spawned tool shared until it was loaded.
    long peak_memory_kib = 0;
};

// The tools under test are the built ones, or those that ZK_TEST_TOOL_DIR
// names with the suffix ZK_TEST_EXE_SUFFIX (".exe"), started through the
// program ZK_TEST_RUNNER when it is set (wine for the Windows build).
std::string tool_path(const std::string& tool);
bool windows_tools();

// text with "\r\n" turned into "\n" when the tools are Windows programs,
// whose text-mode output ends its lines so; unchanged otherwise.
std::string text_lines(std::string text);

// What a case expects where the Windows tools differ by the platform's
// nature: a directory given as a file cannot even be opened there, where a
// POSIX system opens it and fails at the first read.
inline std::string on_windows(const std::string& posix, const std::string& windows)
{
    return windows_tools() ? windows : posix;
}

// Skips a case that cannot apply to the Windows tools (a command line
// longer than Windows passes on; FIFOs, device nodes and POSIX links, which
// wine does not show to a program), saying why.
#define ZK_SKIP_ON_WINDOWS(why) \
    if (zktest::windows_tools()) GTEST_SKIP() << "not for the Windows tools: " << (why)

// Runs the built tool in dir (its working directory) with the given arguments.
RunResult run_tool(const std::string& tool, const std::vector<std::string>& args,
                   const TempDir& dir, const RunOptions& opts = {});

// The same in two steps, for runs that go on beside the test: start_tool
// returns at once; wait_tool waits for the run's end and gives its result.
struct Running {
    TempDir capture;  // beside the test directory, so that listings of it show only what the tool wrote
    RunOptions opts;
    std::filesystem::path out_path;
    int pid = -1;
    bool tool_lines = false;  // a tool's output, whose line ends are those of the tools' platform
};
std::unique_ptr<Running> start_tool(const std::string& tool, const std::vector<std::string>& args,
                                    const TempDir& dir, const RunOptions& opts = {});
RunResult wait_tool(std::unique_ptr<Running> run);

// Runs the program argv[0] (a path) in dir, taking its output as it comes
// whatever the platform of the tools.
RunResult run_program(const std::vector<std::string>& argv, const TempDir& dir, const RunOptions& opts = {});
std::unique_ptr<Running> start_program(const std::vector<std::string>& argv, const TempDir& dir,
                                       const RunOptions& opts = {});

// Runs tool once for each argument list and expects the usage case of
// every one: status 1, expected_out on standard output, nothing on standard error.
void expect_usage(const std::string& tool, const TempDir& dir, const std::string& expected_out,
                  const std::vector<std::vector<std::string>>& arg_lists);

// The usage text a tool prints with --help (run once, then remembered): the
// one place a test takes a usage text from, rather than restating it.
const std::string& usage_text(const std::string& tool);

// The banner as printed, with the build time stamp written as "<DATE>".
std::string banner(const std::string& display_name, const std::string& version);

// Output with the banner's build time stamp replaced by "<DATE>", so that
// it can be compared with banner() and the literal text that follows.
std::string normalized(const std::string& out);

}  // namespace zktest
