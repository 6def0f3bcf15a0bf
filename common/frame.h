// The outer shape every tool of the suite shares: its identity and banner,
// the usage text, checked output files and the exit status.
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

namespace zk {

enum class BannerKind {
    AtEntry,       // printed before the arguments are looked at
    QuietCapable,  // printed after the scan unless "-quiet" was given
    UnlessStdout,  // at entry, but not when the data go to standard output
};

struct ToolId {
    const char* command;
    const char* display_name;
    const char* version;  // a string: "1.10" follows "1.8"
    BannerKind banner;
};

inline constexpr const char* kSuiteVersion = "v1.40";

inline constexpr ToolId kTools[] = {
    {"zktiler", "ZKTiler", "1.7", BannerKind::UnlessStdout},
    {"zksplit", "ZKSplit", "1.7", BannerKind::AtEntry},
    {"zkunpack", "ZKUnpack", "1.8", BannerKind::AtEntry},
    {"zkunarchive", "ZKUnArchive", "1.3", BannerKind::AtEntry},
    {"zkpack", "ZKPack", "1.0", BannerKind::QuietCapable},
    {"zkbin2hex", "ZKBin2Hex", "1.10", BannerKind::QuietCapable},
    {"zkhex2bin", "ZKHex2Bin", "1.3", BannerKind::QuietCapable},
    {"zkextract", "ZKExtract", "1.8", BannerKind::QuietCapable},
    {"zkbin2str", "ZKBin2Str", "1.8", BannerKind::AtEntry},
    {"zkinfo", "ZKInfo", "1.6", BannerKind::AtEntry},
    {"zkbin2bin", "ZKBin2Bin", "1.7", BannerKind::QuietCapable},
    {"zkstrip", "ZKStrip", "1.8", BannerKind::QuietCapable},
    {"zkchecksum", "ZKChecksum", "1.7", BannerKind::AtEntry},
    {"zkhelp", "ZKHelp", "1.12", BannerKind::AtEntry},
};

// The identity of a command of the table; an unknown command does not
// compile when the lookup is evaluated at compile time.
consteval const ToolId& tool(std::string_view command) {
    for (const ToolId& t : kTools)
        if (command == t.command) return t;
    throw "unknown tool";
}

// The value of a hexadecimal digit (0-9, a-f, A-F), or -1 for any other character.
constexpr int hex_digit_value(unsigned char c)
{
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// Empty line, "<name> <version> - Vardelle v1.40", credit line with the
// build's date and time, empty line; all on standard output.
void print_banner(const ToolId& id);

// The usage text on standard output; quiet-capable tools print their
// banner first, the others printed it at entry.
void print_usage(const ToolId& id, const char* usage_text);

// A stdio stream that is closed on every path.
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File open_file(const char* name, const char* mode);

// Flushes and closes the stream; false when any write to it or the close
// itself failed, so that data lost on a full disk is never reported as
// written.
bool close_checked(File& f);

// True, after "ERROR: outputfile %s is the inputfile\n", when name is the
// file that in reads from: creating that output would empty the input
// before it has been read.
bool output_is_input(std::FILE* in, const char* name);

// The suite's messages for an output that could not be written.
int fail_output(const char* name);  // "ERROR: cannot write outputfile %s\n", returns 1
int fail_stdout();                  // "ERROR: cannot write to stdout\n", returns 1

// The last step of every tool's main: standard output is flushed, and a
// failure to write it turns the status into 1 with its error line.
int finish(int status);

}  // namespace zk
