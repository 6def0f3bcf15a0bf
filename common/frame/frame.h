// The tool frame: the outer shape every tool of the suite shares. Its
// identity and banner, the usage text, the start and end of a run, messages
// on standard error, and the few things every tool does with files in the
// suite's words: opening an input or an output, reading an input whole,
// writing an output whole. A tool's own file keeps only what is its own:
// identity, usage, settings, argument scan, work and messages.
//
// Contract: only tools link the frame. The format libraries below it (and
// the bytes and files layers under them) print nothing, and cannot include
// this header: their include paths do not reach it.
#pragma once

#include "bytes.h"
#include "files.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zk {

// ---------------------------------------------------------------------------
// Identity, banner and usage

struct ToolId {
    const char* command;
    const char* display_name;
    const char* version;  // a string: "1.10" follows "1.8"
    bool quiet_capable;   // banner after the scan unless "-quiet"; usage text after a banner of its own
};

inline constexpr ToolId kTools[] = {
    {"zktiler", "ZKTiler", "1.7", false},
    {"zkpng2bin", "ZKPng2Bin", "1.0", true},
    {"zkbin2png", "ZKBin2Png", "1.0", true},
    {"zksplit", "ZKSplit", "1.7", false},
    {"zkunpack", "ZKUnpack", "1.8", false},
    {"zkunarchive", "ZKUnArchive", "1.3", false},
    {"zkarchive", "ZKArchive", "1.0", false},
    {"zkpack", "ZKPack", "1.0", true},
    {"zkppggen", "ZKPPGGen", "1.0", true},
    {"zkbin2hex", "ZKBin2Hex", "1.10", true},
    {"zkhex2bin", "ZKHex2Bin", "1.3", true},
    {"zkextract", "ZKExtract", "1.8", true},
    {"zkbin2str", "ZKBin2Str", "1.8", false},
    {"zkbin2oth", "ZKBin2Oth", "1.0", false},
    {"zksetname", "ZKSetName", "1.0", false},
    {"zkinfo", "ZKInfo", "1.6", false},
    {"zkbin2bin", "ZKBin2Bin", "1.7", true},
    {"zkstrip", "ZKStrip", "1.8", true},
    {"zkchecksum", "ZKChecksum", "1.7", false},
    {"zkhelp", "ZKHelp", "1.12", false},
};

// The identity of a command of the table; an unknown command does not
// compile when the lookup is evaluated at compile time.
consteval const ToolId& tool(std::string_view command)
{
    for (const ToolId& t : kTools)
        if (command == t.command) return t;
    throw "unknown tool";
}

// Empty line, "<name> <version> - Vardelle v<suite version>", credit line
// with the build's date and time, empty line; all on standard output. The
// suite version is the project's, from the build. Nothing under
// ZKTOOLS_QUIET (quiet_environment).
void print_banner(const ToolId& id);

// The usage text on standard output; quiet-capable tools print their
// banner first, the others printed it at entry.
void print_usage(const ToolId& id, const char* usage_text);

// ---------------------------------------------------------------------------
// Start and end of a run

// The first call of every tool's main. It holds the standard descriptors
// (hold_std_streams), and answers "--help" (the usage text) and
// "--version" (one line: name, version and suite version) given as the
// only argument, on standard output with status 0, ending the process.
void start(const ToolId& id, const char* usage_text, int argc, char** argv);

// The last step of every tool's main: standard output is flushed, and a
// failure to write it turns the status into 1 with its error line.
int finish(int status);

// A tool's answer to a command line it cannot read: the usage text
// (print_usage), then finish(1).
int finish_with_usage(const ToolId& id, const char* usage_text);

// ---------------------------------------------------------------------------
// Quiet build logs

// True when the environment variable ZKTOOLS_QUIET is set, and neither
// empty nor "0": then no tool prints its banner or the progress and
// summary lines of a run ("-quiet" where a tool has it, which it then
// starts from); warnings, errors, usage texts and the data a tool exists
// to print stay.
bool quiet_environment();

// ---------------------------------------------------------------------------
// Messages

// The formats are checked as the C library's printf reads them: on
// Windows that is MinGW's own printf, which knows %zu and %lld.
#if defined(__MINGW32__)
#define ZK_PRINTF_LIKE [[gnu::format(gnu_printf, 1, 2)]]
#else
#define ZK_PRINTF_LIKE [[gnu::format(printf, 1, 2)]]
#endif

// A line to standard error, formatted as printf does. Standard output is
// flushed first, so that a build log that merges the two streams shows the
// lines in the order the tool made them.
ZK_PRINTF_LIKE void eprint(const char* format, ...);

// eprint, then the status 1: "return zk::fail(...)" at the point of failure.
ZK_PRINTF_LIKE int fail(const char* format, ...);

// The suite's messages for an output that could not be written; both return 1.
int fail_output(const char* name);  // "ERROR: cannot write outputfile %s\n"
int fail_stdout();                  // "ERROR: cannot write to stdout\n"

// A progress or summary line, on standard output (note) or, for the tools
// whose summaries go there, on standard error (enote); nothing under
// quiet_environment().
ZK_PRINTF_LIKE void note(const char* format, ...);
ZK_PRINTF_LIKE void enote(const char* format, ...);

// ---------------------------------------------------------------------------
// Command lines of the tools beyond the original thirteen, one shape for
// all: flags and positional arguments in any order, read left to right. A
// flag is a word that begins with "-", other than "-" alone; a flag the
// tool does not know is refused with "ERROR: invalid option %s\n"; a flag
// without its value, one positional argument too many or a required one
// missing is a usage error.
//
//     zk::ArgScan args(argc, argv);
//     while (args.next()) {
//         if (args.flag("-quiet")) s.quiet = true;
//         else if (args.value("-E", text)) ...
//         else args.positional({&s.infile, &s.outfile});
//     }
//     const zk::Scan scan = args.result(s.infile && s.outfile);
//     if (scan != zk::Scan::Ok) return zk::finish_scan(kId, kUsage, scan);

enum class Scan { Ok, Usage, Refused };

class ArgScan {
public:
    ArgScan(int argc, char** argv) : argc_(argc), argv_(argv) {}

    // Moves to the next word; false at the end, and once the scan failed.
    bool next() { return scan_ == Scan::Ok && ++at_ < argc_; }
    const char* word() const { return argv_[at_]; }

    // The word is the flag name.
    bool flag(const char* name) const;
    // The word is the flag name, and the word after it is taken as its value.
    bool value(const char* name, const char*& value);
    // The same for a number: a value of decimal digits only, from lo to hi;
    // any other is refused with "ERROR: invalid value %s for option %s
    // (must be >=%d and <=%d)\n".
    bool number(const char* name, int lo, int hi, int& value);
    // The word fills the first empty slot; an unknown flag is refused.
    void positional(std::initializer_list<const char**> slots);
    // The word is one more of a list of arguments; an unknown flag is refused.
    void positional(std::vector<const char*>& list);
    // Ends the scan after the tool's own line about a flag's value.
    void refuse() { scan_ = Scan::Refused; }

    // How the scan ended; complete tells whether every required argument came.
    Scan result(bool complete) const { return scan_ == Scan::Ok && !complete ? Scan::Usage : scan_; }

private:
    bool unknown_flag();
    int argc_;
    char** argv_;
    int at_ = 0;
    Scan scan_ = Scan::Ok;
};

// The end of a run whose command line did not scan: the usage text for a
// usage error (the refusal has printed its line already), then finish(1).
int finish_scan(const ToolId& id, const char* usage_text, Scan scan);

// ---------------------------------------------------------------------------
// Files, with the suite's messages

// The named file opened for binary reading, or null after message (a
// format that takes the name) on standard error.
File open_input(const char* name, const char* message = "ERROR: cannot open inputfile %s\n");

// The named output opened in mode as an OutputFile (whole or absent), or
// false after message.
bool open_output(OutputFile& out, const char* name, const char* mode,
                 const char* message = "ERROR: cannot open outputfile %s\n");

// Writes bytes as the whole of the new or replaced file name, for a tool
// that builds its output in memory: nothing appears under the name unless
// every byte was written. False after the open message or
// "ERROR: cannot write outputfile %s\n".
bool write_whole_file(const char* name, std::span<const std::uint8_t> bytes,
                      const char* open_message = "ERROR: cannot open outputfile %s\n");

// The file a tool names after a variable (file_named_after): false after
// "ERROR: no variable name in \"%s\"\n" for a name argument that ends in a
// directory part, or "ERROR: %s is a device name, not a file\n" on Windows.
bool output_named_after(const char* name, std::string_view extension, std::string& file);

// True, after "ERROR: outputfile %s is the inputfile\n", when name is the
// input file, however it is named (a link, another path): creating that
// output would empty the input before it has been read. Called before the
// output is created; an input read whole and closed keeps its FileId.
bool output_is_input(const std::optional<FileId>& input, const char* name);
bool output_is_input(std::FILE* input, const char* name);

// Opens the file name and reads it whole with read_all, for a tool that
// works on its input in memory; id receives the file's identity, for the
// output-is-input check. Ok and TooLong print nothing (the limit means
// something different to each tool); every other result comes after its
// line: the open message, "ERROR: cannot read inputfile %s\n" or
// "ERROR: cannot allocate memory (%zu bytes)\n".
ReadAll read_input(const char* name, std::size_t limit, Buffer& out, std::optional<FileId>& id);

}  // namespace zk
