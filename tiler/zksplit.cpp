// zksplit: cuts one file into numbered pieces, at byte offsets or line
// numbers read from an offset file, or before every line holding a tag.
#include "frame.h"

#include <sys/types.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

static constexpr const zk::ToolId& kId = zk::tool("zksplit");

static constexpr const char kUsage[] =
    "Usage: zksplit [flags] <-t | -b> <offsetfile> <infile>\n"
    "       -t          ...  treat offsets as linenumbers (starting at 1)\n"
    "       -b          ...  treat offsets as byteoffsets (starting at 0)\n"
    "       -s <string> ...  use inline split tag instead of offset file\n"
    "       -v          ...  output additionally messages\n"
    "\n"
    "offsets are read from file offsetfile, which must contain offsets only\n"
    "in ascending numbers (maximum: 999 offsets). each offset is treated as\n"
    "the start of a new file. the first offset is the start of the second (!!!)\n"
    "file and so on.\n"
    "The outputfile names are generated from the inputfilename using\n"
    "the following pattern:\n"
    "<inputname>p<nr>.<inputextension>\n"
    "nr ranges from 000 to 999\n"
    "\n";

// Piece numbers of an offset split have three digits, so 999 cut points
// make the most pieces the names can tell apart.
static constexpr std::size_t kMaxOffsets = 999;

enum class SplitMode { Unset, Bytes, Lines };

struct Settings {
    SplitMode mode = SplitMode::Unset;
    bool verbose = false;
    const char* tag = nullptr;
    const char* offset_file = nullptr;
    const char* infile = nullptr;
};

// ---------------------------------------------------------------------------
// Offset file: signed decimal numbers separated by white space, non-decreasing
// and never 0.

enum class OffsetError { None, NotANumber, NotAscending, Zero };

struct OffsetList {
    std::vector<std::int32_t> values;
    OffsetError error = OffsetError::None;  // at index values.size()
    bool dropped_rest = false;              // stopped after kMaxOffsets
};

enum class Token { Number, End, NotANumber };

// One number as "%d" reads it: white space, an optional sign, digits. A
// value outside 32 bits and a failed read are not numbers, so neither can
// pass for a valid list.
static Token next_number(std::FILE* f, std::int32_t& value)
{
    int c;
    do c = std::getc(f);
    while (c != EOF && std::isspace(c));
    if (c == EOF) return std::ferror(f) ? Token::NotANumber : Token::End;

    bool negative = c == '-';
    if (c == '-' || c == '+') c = std::getc(f);
    if (c == EOF || !std::isdigit(c)) return Token::NotANumber;
    const std::int64_t limit = negative ? std::int64_t{INT32_MAX} + 1 : INT32_MAX;
    std::int64_t magnitude = 0;
    for (; c != EOF && std::isdigit(c); c = std::getc(f)) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) return Token::NotANumber;
    }
    if (c != EOF) std::ungetc(c, f);
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return Token::Number;
}

static OffsetList parse_offsets(std::FILE* f)
{
    OffsetList list;
    for (;;) {
        std::int32_t value = 0;
        switch (next_number(f, value)) {
        case Token::End:
            return list;
        case Token::NotANumber:
            list.error = OffsetError::NotANumber;
            return list;
        case Token::Number:
            break;
        }
        if (!list.values.empty() && value < list.values.back()) {
            list.error = OffsetError::NotAscending;
            return list;
        }
        if (value == 0) {
            list.error = OffsetError::Zero;
            return list;
        }
        list.values.push_back(value);
        if (list.values.size() == kMaxOffsets) {
            list.dropped_rest = true;
            return list;
        }
    }
}

// The offsets of the file, or an empty table after any error (reported
// here) or for a file without offsets (not reported).
static std::vector<std::int32_t> read_offsets(const char* name)
{
    OffsetList list;
    {
        zk::File f = zk::open_file(name, "r");
        if (!f) {
            zk::eprint("ERROR: cannot open offsetfile %s\n", name);
            return {};
        }
        list = parse_offsets(f.get());
    }
    switch (list.error) {
    case OffsetError::None:
        break;
    case OffsetError::NotANumber:
        zk::eprint("ERROR: parsing offset[%zu] from %s failed\n", list.values.size(), name);
        return {};
    case OffsetError::NotAscending:
        zk::eprint("ERROR: offsets are not ascending\n");
        return {};
    case OffsetError::Zero:
        zk::eprint("ERROR: offset 0 is invalid\n");
        return {};
    }
    if (list.dropped_rest) zk::eprint("WARNING: read 1000 offsets. Dropping the rest.\n");
    return std::move(list.values);
}

// ---------------------------------------------------------------------------
// Piece names: the input name split at its first "." (directory parts
// included), with "p" and the piece number between the two halves.

struct PieceNames {
    std::string prefix;
    std::string extension;  // from the first "." on; empty without one
};

static PieceNames piece_names_of(std::string_view input)
{
    std::size_t dot = input.find('.');
    if (dot == std::string_view::npos) return {std::string(input), ""};
    return {std::string(input.substr(0, dot)), std::string(input.substr(dot))};
}

// "%sp%03d%s": at least three digits, more once the number needs them.
static std::string piece_name(const PieceNames& names, unsigned long number)
{
    char digits[24];
    std::snprintf(digits, sizeof digits, "%03lu", number);
    return names.prefix + "p" + digits + names.extension;
}

static void print_names(const PieceNames& names)
{
    zk::eprint("using prefix    = [%s]\n", names.prefix.c_str());
    zk::eprint("using extension = [%s]\n", names.extension.c_str());
}

// ---------------------------------------------------------------------------
// Byte mode

enum class CopyResult { Ok, CannotCreate, CannotSeek, InputEnded, WriteFailed };

// Copies length bytes from start into a new piece. A negative length reads
// until the input ends, which then fails as any piece running past the end
// does. The piece stays, with what was copied, after every failure.
static CopyResult copy_range(std::FILE* in, const char* name, std::int64_t start, std::int64_t length)
{
    zk::File piece = zk::open_file(name, "wb");
    if (!piece) return CopyResult::CannotCreate;
    if (fseeko(in, static_cast<off_t>(start), SEEK_SET) != 0) return CopyResult::CannotSeek;
    std::uint64_t remaining = static_cast<std::uint64_t>(length);
    char buffer[1 << 16];
    while (remaining > 0) {
        std::size_t want = remaining < sizeof buffer ? static_cast<std::size_t>(remaining) : sizeof buffer;
        std::size_t got = std::fread(buffer, 1, want, in);
        if (std::fwrite(buffer, 1, got, piece.get()) != got) return CopyResult::WriteFailed;
        if (got < want) return CopyResult::InputEnded;
        remaining -= got;
    }
    return zk::close_checked(piece) ? CopyResult::Ok : CopyResult::WriteFailed;
}

// The size of the input, or -1 when it cannot be found (which makes the
// last piece run until the input ends and fail there).
static std::int64_t input_size(std::FILE* in)
{
    if (fseeko(in, 0, SEEK_END) != 0) return -1;
    return ftello(in);
}

// Piece 0 holds the bytes before the first offset, piece k those from
// offset k up to offset k + 1, the last piece those from the last offset on.
static unsigned split_bytes(std::FILE* in, const PieceNames& names, const std::vector<std::int32_t>& offsets)
{
    const std::size_t n = offsets.size();
    for (std::size_t k = 0; k <= n; ++k) {
        const std::int64_t start = k == 0 ? 0 : offsets[k - 1];
        const std::int64_t length = (k < n ? std::int64_t{offsets[k]} : input_size(in)) - start;
        const std::string name = piece_name(names, k);
        zk::eprint("extracting to %s from start=%lu (length=%lu)\n", name.c_str(),
                     static_cast<unsigned long>(start), static_cast<unsigned long>(length));
        switch (copy_range(in, name.c_str(), start, length)) {
        case CopyResult::Ok:
            continue;
        case CopyResult::CannotCreate:
            zk::eprint("ERROR: cannot open output filename %s\n", name.c_str());
            break;
        case CopyResult::CannotSeek:
            zk::eprint("ERROR: cannot seek to binary offset %lu\n", static_cast<unsigned long>(start));
            break;
        case CopyResult::InputEnded:
            zk::eprint("ERROR: cannot read more data from inputfile\n");
            break;
        case CopyResult::WriteFailed:
            zk::eprint("ERROR: cannot read write data to outputfile\n");
            break;
        }
        return static_cast<unsigned>(k);
    }
    return static_cast<unsigned>(n + 1);
}

// ---------------------------------------------------------------------------
// Line and tag mode: text lines of any length, each with its line end.

struct LineReader {
    char* data = nullptr;
    std::size_t capacity = 0;
    std::size_t length = 0;

    LineReader() = default;
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    ~LineReader() { std::free(data); }

    // False at the end of the input and on a read error (see ferror).
    bool next(std::FILE* in)
    {
        ssize_t got = getline(&data, &capacity, in);
        if (got < 0) return false;
        length = static_cast<std::size_t>(got);
        return true;
    }

    std::string_view text() const { return {data, length}; }
    bool write_to(std::FILE* out) const { return std::fwrite(data, 1, length, out) == length; }
};

static void report_open_failure(const std::string& name)
{
    zk::eprint("ERROR: cannot open outputfile %s\n", name.c_str());
}

static void report_write_failure(const std::string& name)
{
    zk::eprint("ERROR: cannot write more lines to file %s\n", name.c_str());
}

static void report_read_failure()
{
    zk::eprint("ERROR: cannot read more data from inputfile\n");
}

// Offset N makes line N (counted from 1) the first line of the next piece.
// One offset is compared at a time, so an offset equal to the one before it
// is never reached and the pieces after it are missing from the result.
static unsigned split_lines(std::FILE* in, const PieceNames& names, const std::vector<std::int32_t>& offsets)
{
    std::string name = piece_name(names, 0);
    zk::File piece = zk::open_file(name.c_str(), "w");
    if (!piece) {
        report_open_failure(name);
        return 0;
    }
    LineReader line;
    unsigned written = 0;
    std::size_t next_offset = 0;
    for (std::int64_t number = 1;; ++number) {
        if (next_offset < offsets.size() && number == offsets[next_offset]) {
            if (!zk::close_checked(piece)) {
                report_write_failure(name);
                return written;
            }
            ++written;
            ++next_offset;
            name = piece_name(names, next_offset);
            piece = zk::open_file(name.c_str(), "w");
            if (!piece) {
                report_open_failure(name);
                return written;
            }
        }
        if (!line.next(in)) break;
        if (!line.write_to(piece.get())) {
            report_write_failure(name);
            return written;
        }
    }
    if (std::ferror(in)) {
        report_read_failure();
        return written;
    }
    if (!zk::close_checked(piece)) {
        report_write_failure(name);
        return written;
    }
    return written + 1;
}

static unsigned split_by_offsets(const char* infile, SplitMode mode, const std::vector<std::int32_t>& offsets)
{
    zk::File in = zk::open_file(infile, mode == SplitMode::Bytes ? "rb" : "r");
    if (!in) {
        zk::eprint("ERROR: cannot open inputfile %s\n", infile);
        return 0;
    }
    const PieceNames names = piece_names_of(infile);
    print_names(names);
    return mode == SplitMode::Bytes ? split_bytes(in.get(), names, offsets)
                                    : split_lines(in.get(), names, offsets);
}

struct TagSplit {
    unsigned long pieces = 0;
    bool complete = false;  // false after any failure; the pieces made stay
};

// Every line holding the tag ends the current piece and starts the next;
// the tag line itself goes to no piece. The pieces have no limit in number.
static TagSplit split_by_tag(const char* infile, std::string_view tag, bool verbose)
{
    zk::File in = zk::open_file(infile, "r");
    if (!in) {
        zk::eprint("ERROR: cannot open inputfile %s\n", infile);
        return {};
    }
    const PieceNames names = piece_names_of(infile);
    if (verbose) print_names(names);
    std::string name = piece_name(names, 0);
    zk::File piece = zk::open_file(name.c_str(), "w");
    if (!piece) {
        report_open_failure(name);
        return {};
    }
    LineReader line;
    unsigned long made = 0;
    while (line.next(in.get())) {
        if (line.text().find(tag) == std::string_view::npos) {
            if (!line.write_to(piece.get())) {
                report_write_failure(name);
                return {made, false};
            }
            continue;
        }
        if (!zk::close_checked(piece)) {
            report_write_failure(name);
            return {made, false};
        }
        ++made;
        name = piece_name(names, made);
        piece = zk::open_file(name.c_str(), "w");
        if (!piece) {
            report_open_failure(name);
            return {made, false};
        }
    }
    if (std::ferror(in.get())) {
        report_read_failure();
        return {made, false};
    }
    if (!zk::close_checked(piece)) {
        report_write_failure(name);
        return {made, false};
    }
    return {made + 1, true};
}

// ---------------------------------------------------------------------------

static int run(const Settings& s)
{
    if (s.tag) {
        TagSplit split = split_by_tag(s.infile, s.tag, s.verbose);
        if (!split.complete) {
            zk::eprint("ERROR: splitting inputfile %s failed\n", s.infile);
            return 1;
        }
        if (s.verbose) zk::eprint("successfully generated %lu files\n", split.pieces);
        return 0;
    }

    const std::vector<std::int32_t> offsets = read_offsets(s.offset_file);
    if (offsets.empty()) return 1;
    if (s.mode == SplitMode::Lines && offsets[0] <= 1) {
        zk::eprint("ERROR: offset with value 0 or 1 is not allowed for textmode\n");
        return 1;
    }
    const unsigned expected = static_cast<unsigned>(offsets.size() + 1);
    const unsigned written = split_by_offsets(s.infile, s.mode, offsets);
    if (written != expected) {
        zk::eprint("generated ONLY %u out of %u files\n", written, expected);
        return 1;
    }
    if (s.verbose) zk::eprint("successfully generated %u out of %u files\n", written, expected);
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    zk::print_banner(kId);
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-b") == 0) {
            s.mode = SplitMode::Bytes;
        } else if (std::strcmp(arg, "-t") == 0) {
            s.mode = SplitMode::Lines;
        } else if (std::strcmp(arg, "-v") == 0) {
            s.verbose = true;
        } else if (std::strcmp(arg, "-s") == 0) {
            if (i + 1 == argc) {
                zk::print_usage(kId, kUsage);
                return zk::finish(1);
            }
            s.tag = argv[++i];
        } else if (!s.offset_file && !s.tag) {
            // Until a tag is given the first name is the offset file, so
            // the tag must come before the input name when it replaces it.
            s.offset_file = arg;
        } else if (!s.infile) {
            s.infile = arg;
        }
    }
    if (!s.infile || (!s.offset_file && !s.tag) || s.mode == SplitMode::Unset) {
        zk::print_usage(kId, kUsage);
        return zk::finish(1);
    }
    return zk::finish(run(s));
}
