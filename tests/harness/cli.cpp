#include "cli.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string_view>
#include <sstream>
#include <stdexcept>
#include <algorithm>
#include <random>

extern char** environ;

namespace zktest {

namespace fs = std::filesystem;

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string string_of(const Bytes& b) { return std::string(b.begin(), b.end()); }

Bytes random_bytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& v : b) v = static_cast<std::uint8_t>(rng());
    return b;
}

TempDir::TempDir()
{
    std::string templ = (fs::temp_directory_path() / "zktest-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const Bytes& data) const
{
    std::ofstream f(path_ / name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

void TempDir::write(const std::string& name, const std::string& text) const
{
    write(name, bytes_of(text));
}

Bytes TempDir::read(const std::string& name) const
{
    std::ifstream f(path_ / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string TempDir::read_text(const std::string& name) const { return string_of(read(name)); }

bool TempDir::exists(const std::string& name) const
{
    return fs::exists(fs::symlink_status(path_ / name));
}

void TempDir::link_to_full(const std::string& name) const
{
    fs::create_symlink("/dev/full", path_ / name);
}

std::vector<std::string> TempDir::list() const
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

static std::string slurp(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool windows_tools()
{
    const char* suffix = std::getenv("ZK_TEST_EXE_SUFFIX");
    return suffix && std::string_view(suffix) == ".exe";
}

std::string tool_path(const std::string& tool)
{
    const char* dir = std::getenv("ZK_TEST_TOOL_DIR");
    const char* suffix = std::getenv("ZK_TEST_EXE_SUFFIX");
    return std::string(dir && *dir ? dir : ZK_TOOL_DIR) + "/" + tool + (suffix ? suffix : "");
}

std::string text_lines(std::string text)
{
    if (!windows_tools()) return text;
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
    return lines;
}

std::string TempDir::read_c_text(const std::string& name) const { return text_lines(read_text(name)); }

// The environment of a tool run. LeakSanitizer's scan at exit costs a
// sanitized tool some 40 ms, most of a short run; the tools free what they
// hold through RAII, and the libraries are leak-checked in-process, so the
// command-line tests skip that scan unless ZK_TEST_TOOL_LEAKS is set (the
// sweep over every tool sets it).
static char** tool_environment()
{
    static std::vector<std::string> store;
    static std::vector<char*> env;
    if (!env.empty()) return env.data();
    const char* leaks = std::getenv("ZK_TEST_TOOL_LEAKS");
    const bool check_leaks = leaks && *leaks && std::string_view(leaks) != "0";
    std::string asan = "ASAN_OPTIONS=";
    for (char** e = environ; *e; ++e) {
        if (std::string_view(*e).starts_with("ASAN_OPTIONS="))
            asan = *e;
        else
            store.emplace_back(*e);
    }
    if (!check_leaks) asan += asan.back() == '=' ? "detect_leaks=0" : ":detect_leaks=0";
    store.push_back(asan);
    for (std::string& v : store) env.push_back(v.data());
    env.push_back(nullptr);
    return env.data();
}

std::unique_ptr<Running> start_program(const std::vector<std::string>& args, const TempDir& dir,
                                       const RunOptions& opts)
{
    auto run = std::make_unique<Running>();
    run->opts = opts;
    const TempDir& capture = run->capture;
    const fs::path in_path = capture.path() / "stdin";
    run->out_path = opts.stdout_to.empty() ? capture.path() / "stdout" : dir.path() / opts.stdout_to;
    const fs::path err_path = capture.path() / "stderr";
    capture.write("stdin", opts.stdin_data);

    std::vector<std::string> argv_store = args;
    if (opts.file_size_limit >= 0 || opts.address_space_limit >= 0) {
        // A write past the file size limit then fails, as on a full disk,
        // rather than ending the tool: an ignored signal stays ignored
        // through exec.
        std::signal(SIGXFSZ, SIG_IGN);
        std::vector<std::string> limits{"/usr/bin/prlimit"};
        if (opts.file_size_limit >= 0) limits.push_back("--fsize=" + std::to_string(opts.file_size_limit));
        if (opts.address_space_limit >= 0) limits.push_back("--as=" + std::to_string(opts.address_space_limit));
        limits.push_back("--");
        argv_store.insert(argv_store.begin(), limits.begin(), limits.end());
    }
    std::vector<char*> argv;
    for (auto& a : argv_store) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (opts.stdin_closed)
        posix_spawn_file_actions_addclose(&fa, 0);
    else
        posix_spawn_file_actions_addopen(&fa, 0, in_path.c_str(), O_RDONLY, 0);
    if (opts.stdout_closed)
        posix_spawn_file_actions_addclose(&fa, 1);
    else
        posix_spawn_file_actions_addopen(&fa, 1, run->out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (opts.merge_stderr)
        posix_spawn_file_actions_adddup2(&fa, 1, 2);
    else
        posix_spawn_file_actions_addopen(&fa, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&fa, dir.path().c_str());

    std::vector<char*> env;
    for (char** e = tool_environment(); *e; ++e) env.push_back(*e);
    std::vector<std::string> extra = opts.env;
    for (std::string& e : extra) env.push_back(e.data());
    env.push_back(nullptr);

    pid_t pid;
    int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) throw std::runtime_error("cannot start " + args.at(0));
    run->pid = pid;
    return run;
}

std::unique_ptr<Running> start_tool(const std::string& tool, const std::vector<std::string>& args,
                                    const TempDir& dir, const RunOptions& opts)
{
    std::vector<std::string> argv{tool_path(tool)};
    if (const char* runner = std::getenv("ZK_TEST_RUNNER"); runner && *runner) argv.insert(argv.begin(), runner);
    argv.insert(argv.end(), args.begin(), args.end());
    std::unique_ptr<Running> run = start_program(argv, dir, opts);
    run->tool_lines = true;
    return run;
}

RunResult wait_tool(std::unique_ptr<Running> run)
{
    int wstatus = 0;
    struct rusage usage {};
    wait4(run->pid, &wstatus, 0, &usage);

    RunResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    r.peak_memory_kib = usage.ru_maxrss;
    if (run->opts.stdout_to.empty() && !run->opts.stdout_closed) r.out = slurp(run->out_path);
    if (!run->opts.merge_stderr) r.err = slurp(run->capture.path() / "stderr");
    if (run->tool_lines) {
        r.out = text_lines(r.out);
        r.err = text_lines(r.err);
    }
    return r;
}

RunResult run_tool(const std::string& tool, const std::vector<std::string>& args,
                   const TempDir& dir, const RunOptions& opts)
{
    return wait_tool(start_tool(tool, args, dir, opts));
}

RunResult run_program(const std::vector<std::string>& argv, const TempDir& dir, const RunOptions& opts)
{
    return wait_tool(start_program(argv, dir, opts));
}

void expect_usage(const std::string& tool, const TempDir& dir, const std::string& expected_out,
                  const std::vector<std::vector<std::string>>& arg_lists)
{
    for (const auto& args : arg_lists) {
        std::string call = tool;
        for (const auto& a : args) call += " " + a;
        SCOPED_TRACE(call);
        RunResult r = run_tool(tool, args, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(normalized(r.out), expected_out);
        EXPECT_EQ(r.err, "");
    }
}

const std::string& usage_text(const std::string& tool)
{
    static std::map<std::string, std::string> texts;
    auto [at, added] = texts.try_emplace(tool);
    if (added) {
        TempDir dir;
        at->second = run_tool(tool, {"--help"}, dir).out;
    }
    return at->second;
}

std::string banner(const std::string& display_name, const std::string& version)
{
    return "\n" + display_name + " " + version +
           " - Vardelle v1.40\nTI-89/TI-92 Plus build tools, built <DATE>\n\n";
}

// True when s holds a time stamp such as "Jun 28 2009 08:59:31" ("Jun  8"
// for a one-digit day).
static bool is_build_stamp(std::string_view s)
{
    static constexpr std::string_view shape = "Aaa Dd 9999 99:99:99";
    if (s.size() != shape.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        bool ok = false;
        switch (shape[i]) {
        case 'A': ok = c >= 'A' && c <= 'Z'; break;
        case 'a': ok = c >= 'a' && c <= 'z'; break;
        case 'D': ok = c == ' ' || (c >= '0' && c <= '9'); break;
        case '9': case 'd': ok = c >= '0' && c <= '9'; break;
        default: ok = c == shape[i];
        }
        if (!ok) return false;
    }
    return true;
}

std::string normalized(const std::string& out)
{
    static constexpr std::string_view title_end = " - Vardelle v1.40\n";
    std::size_t title = out.find(title_end);
    if (title == std::string::npos) return out;
    std::size_t credit = title + title_end.size();
    std::size_t eol = out.find('\n', credit);
    if (eol == std::string::npos || eol - credit < 20) return out;
    std::size_t stamp = eol - 20;
    if (!is_build_stamp(std::string_view(out).substr(stamp, 20))) return out;
    return out.substr(0, stamp) + "<DATE>" + out.substr(eol);
}

}  // namespace zktest
