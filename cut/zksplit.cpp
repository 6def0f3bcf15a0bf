// zksplit: cuts one file into numbered pieces, at byte offsets or line
// numbers read from an offset file, or before every line holding a tag.
// Each piece is a byte range of the input, in binary mode on every system.
#include "frame.h"
#include "split.h"

#include <cstring>

namespace split = zk::split;
using split::PieceNames;

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

enum class SplitMode { Unset, Bytes, Lines };

struct Settings {
    SplitMode mode = SplitMode::Unset;
    bool verbose = false;
    const char* tag = nullptr;
    const char* offset_file = nullptr;
    const char* infile = nullptr;
};

// The inputs of a run, which no piece may replace: the file split, and
// the offset file.
using Inputs = std::vector<std::optional<zk::FileId>>;

// The offsets of the file, or none after any error (reported here) or for
// a file without offsets (not reported). The file's identity joins inputs.
static std::vector<std::int32_t> read_offsets(const char* name, Inputs& inputs)
{
    zk::File f = zk::open_input(name, "ERROR: cannot open offsetfile %s\n");
    if (!f) return {};
    inputs.push_back(zk::file_id(f.get()));
    split::OffsetParser parser;
    char block[4096];
    bool wanted = true;
    for (std::size_t got; wanted && (got = std::fread(block, 1, sizeof block, f.get())) > 0;)
        wanted = parser.feed({block, got});
    split::OffsetList list = parser.finish(wanted && std::ferror(f.get()));
    using split::OffsetError;
    if (list.error == OffsetError::NotANumber)
        zk::eprint("ERROR: parsing offset[%zu] from %s failed\n", list.values.size(), name);
    if (list.error == OffsetError::NotAscending) zk::eprint("ERROR: offsets are not ascending\n");
    if (list.error == OffsetError::Zero) zk::eprint("ERROR: offset 0 is invalid\n");
    if (list.error != OffsetError::None) return {};
    if (list.dropped_rest) zk::eprint("WARNING: read 1000 offsets. Dropping the rest.\n");
    return std::move(list.values);
}

static PieceNames names_of(const char* infile, bool print)
{
    PieceNames names = split::piece_names_of(infile, zk::path_separators());
    if (print)
        zk::enote("using prefix    = [%s]\nusing extension = [%s]\n", names.prefix.c_str(), names.extension.c_str());
    return names;
}

// A new piece, never an input of the run under another name; false after
// the message.
static bool create_piece(zk::OutputFile& piece, const Inputs& inputs, const std::string& name,
                         const char* message = "ERROR: cannot open outputfile %s\n")
{
    for (const std::optional<zk::FileId>& input : inputs)
        if (zk::output_is_input(input, name.c_str())) return false;
    return zk::open_output(piece, name.c_str(), "wb", message);
}

// Copies each piece's byte range (split::byte_piece) to its file; the
// number of pieces written.
static unsigned long split_bytes(std::FILE* in, const PieceNames& names, const std::vector<std::int32_t>& offsets,
                                 const Inputs& inputs)
{
    const std::size_t n = offsets.size();
    for (std::size_t k = 0; k <= n; ++k) {
        const std::int64_t end = k < n ? 0 : zk::seek(in, 0, SEEK_END) ? zk::tell(in) : -1;
        const split::ByteRange range = split::byte_piece(offsets, k, end);
        const std::string name = split::piece_name(names, k);
        zk::enote("extracting to %s from start=%llu (length=%llu)\n", name.c_str(),
                  static_cast<unsigned long long>(range.start), static_cast<unsigned long long>(range.length));
        zk::OutputFile piece;
        if (!create_piece(piece, inputs, name, "ERROR: cannot open output filename %s\n")) return k;
        if (!zk::seek(in, range.start, SEEK_SET)) {
            zk::eprint("ERROR: cannot seek to binary offset %llu\n", static_cast<unsigned long long>(range.start));
            return k;
        }
        zk::Copy copy = zk::copy_range(in, range.start, range.copy_length(), piece.get());
        if (copy == zk::Copy::Ok && !piece.commit()) copy = zk::Copy::WriteError;
        if (copy == zk::Copy::Ok) continue;
        zk::eprint(copy == zk::Copy::WriteError ? "ERROR: cannot read write data to outputfile\n"
                                                : "ERROR: cannot read more data from inputfile\n");
        return k;
    }
    return n + 1;
}

struct Pieces {
    unsigned long made = 0;  // pieces closed whole
    bool complete = false;
};

static bool write_all(std::FILE* out, std::string_view bytes)
{
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}

// Streams the input into pieces as the splitter decides, a line piece at
// a time, so that memory stays constant whatever the length of a line.
static Pieces split_text(std::FILE* in, const PieceNames& names, split::Splitter splitter, const Inputs& inputs)
{
    unsigned long made = 0;
    std::string name = split::piece_name(names, 0);
    zk::OutputFile piece;
    create_piece(piece, inputs, name);
    zk::LineReader lines(in);
    for (std::string_view text; piece;) {
        const bool more = lines.next(text);
        if (!more && lines.read_failed()) {
            zk::eprint("ERROR: cannot read more data from inputfile\n");
            break;
        }
        const split::Step step = more ? splitter.next(text) : splitter.finish();
        bool written = step.cut_back_to < 0 || zk::truncate_file(piece.get(), step.cut_back_to);
        if (written && step.next_piece) {
            written = piece.commit();
            if (written && !create_piece(piece, inputs, name = split::piece_name(names, ++made))) break;
        }
        if (written) written = write_all(piece.get(), step.write) && (more || piece.commit());
        if (!written) {
            zk::eprint("ERROR: cannot write more lines to file %s\n", name.c_str());
            break;
        }
        if (!more) return {made + 1, true};
    }
    return {made, false};
}

static int run(const Settings& s)
{
    if (s.tag) {
        zk::File in = zk::open_input(s.infile);
        const Pieces pieces =
            in ? split_text(in.get(), names_of(s.infile, s.verbose), split::Splitter::at_tag(s.tag), {zk::file_id(in.get())})
               : Pieces{};
        if (!pieces.complete) return zk::fail("ERROR: splitting inputfile %s failed\n", s.infile);
        if (s.verbose) zk::enote("successfully generated %lu files\n", pieces.made);
        return 0;
    }

    Inputs inputs;
    std::vector<std::int32_t> offsets = read_offsets(s.offset_file, inputs);
    if (offsets.empty()) return 1;
    if (s.mode == SplitMode::Lines && offsets[0] <= 1)
        return zk::fail("ERROR: offset with value 0 or 1 is not allowed for textmode\n");
    const unsigned long expected = offsets.size() + 1;
    unsigned long written = 0;
    if (zk::File in = zk::open_input(s.infile)) {
        inputs.push_back(zk::file_id(in.get()));
        const PieceNames names = names_of(s.infile, true);
        written = s.mode == SplitMode::Bytes
                      ? split_bytes(in.get(), names, offsets, inputs)
                      : split_text(in.get(), names, split::Splitter::at_lines(std::move(offsets)), inputs).made;
    }
    if (written != expected) return zk::fail("generated ONLY %lu out of %lu files\n", written, expected);
    if (s.verbose) zk::enote("successfully generated %lu out of %lu files\n", written, expected);
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
            if (i + 1 == argc) return zk::finish_with_usage(kId, kUsage);
            s.tag = argv[++i];
        } else if (!s.offset_file && !s.tag) {
            // Until a tag is given the first name is the offset file, so
            // the tag must come before the input name when it replaces it.
            s.offset_file = arg;
        } else if (!s.infile) {
            s.infile = arg;
        }
    }
    if (!s.infile || (!s.offset_file && !s.tag) || s.mode == SplitMode::Unset) return zk::finish_with_usage(kId, kUsage);
    return zk::finish(run(s));
}
