// zkppggen: packs an assembly program into a packed program, a variable of
// the custom type "ppg" whose content is the program's memory image as one
// packed stream, which a launcher on the calculator unpacks and starts;
// with -x it writes the program back.
#include "calc_messages.h"
#include "calcfile.h"
#include "frame.h"
#include "pack.h"
#include "unpack.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

static constexpr const zk::ToolId& kId = zk::tool("zkppggen");

static constexpr const char kUsage[] =
    "Usage: zkppggen [-quiet] [-best] <infile> [<name> [<folder>]]\n"
    "       zkppggen -x [-quiet] <infile> [<name> [<folder>]]\n"
    "\n"
    "       -quiet ... don't output standard messages\n"
    "       -best  ... search longer for a smaller stream\n"
    "       -x     ... restore the program from a packed program\n"
    "\n"
    "       packs an assembly program (89z/9xz file) into a packed program,\n"
    "       a variable of the type ppg written to <name>.89y or <name>.9xy;\n"
    "       -x writes the program back to <name>.89z or <name>.9xz. The\n"
    "       variable keeps its name and folder unless others are given.\n";

// The custom type of a packed program.
static constexpr std::string_view kPackedType = "ppg";

struct Settings {
    const char* infile = nullptr;
    const char* name = nullptr;    // none: the input's own
    const char* folder = nullptr;  // none: the input's own
    bool quiet = zk::quiet_environment();  // "-quiet", or ZKTOOLS_QUIET
    bool restore = false;                  // -x
    zk::PackEffort effort = zk::PackEffort::Normal;
};

// An input variable file, read whole and checked.
struct Input {
    zk::Buffer file;
    std::optional<zk::FileId> id;
    zk::CalcHeader header;
    zk::CalcKind kind = zk::CalcKind::Ti89;
    std::span<const std::uint8_t> image;  // the data size word, the data and the tag
};

// What a run writes: the file, and the variable's name and folder in it.
struct Output {
    std::string file;
    std::string name;
    std::string folder;
};

static int fail_memory(std::size_t size) { return zk::fail("ERROR: cannot allocate memory (%zu bytes)\n", size); }

// Reads a variable file whole and makes the checks zkchecksum makes, and
// those of the calculator and of the data size word; 0 when it passes.
static int read_variable(const char* name, Input& in)
{
    switch (zk::read_input(name, zk::kCalcMaxFileSize, in.file, in.id)) {
    case zk::ReadAll::Ok:
        break;
    case zk::ReadAll::TooLong:
        return zk::fail("ERROR: %s is too long for a variable file (more than %zu bytes)\n", name,
                        zk::kCalcMaxFileSize);
    default:
        return 1;
    }
    const std::span<const std::uint8_t> file(in.file.data(), in.file.size());
    const zk::CalcCheckResult c = zk::check_calc_file(file);
    if (zk::fail_calc_check(c, name) != 0) return 1;
    in.header = c.header;
    const std::optional<zk::CalcKind> kind = zk::calc_kind(file);
    if (!kind) return zk::fail("ERROR: %s is neither a TI89 nor a TI92p file\n", name);
    in.kind = *kind;
    if (c.header.datasize() + zk::kCalcFraming != c.header.size())
        return zk::fail("ERROR: %s: data size (%u) doesn't match embedded length (%lu)\n", name,
                        static_cast<unsigned>(c.header.datasize()), static_cast<unsigned long>(c.header.size()));
    in.image = file.subspan(zk::kCalcImageOffset, file.size() - zk::kCalcHeaderSize);
    return 0;
}

// The file <name>.89<letter> or .9x<letter>, and the variable's name and
// folder where given, as the calculator stores them. Without them the file
// is named after the input's own name, which must keep the calculator's
// rules, in lower case, as must the input's folder unless it has none.
static int name_output(const Settings& s, const Input& in, char letter, Output& out)
{
    const std::string extension = zk::calc_extension(in.kind, letter);
    std::optional<std::string> name;
    if (s.name) {
        if (!zk::output_named_after(s.name, extension, out.file)) return 1;
        const std::string given(zk::base_name(s.name));
        if (!(name = zk::calc_stored_name(given)))
            return zk::fail("ERROR: invalid variable name %s (%s)\n", given.c_str(), zk::kCalcNameRule);
    } else {
        if (!(name = zk::calc_stored_name(in.header.varname())))
            return zk::fail("ERROR: %s holds no valid variable name: give one (%s)\n", s.infile, zk::kCalcNameRule);
        if (!zk::output_named_after(name->c_str(), extension, out.file)) return 1;
    }
    out.name = *name;

    std::optional<std::string> folder;
    if (s.folder) {
        if (!(folder = zk::calc_stored_name(s.folder)))
            return zk::fail("ERROR: invalid folder name %s (%s)\n", s.folder, zk::kCalcNameRule);
    } else if (in.header.folder().empty()) {
        folder = "";
    } else if (!(folder = zk::calc_stored_name(in.header.folder()))) {
        return zk::fail("ERROR: %s holds no valid folder name: give one (%s)\n", s.infile, zk::kCalcNameRule);
    }
    out.folder = *folder;
    return 0;
}

// The output carries the input's header, the names given aside, so that a
// program comes back from its packed program byte for byte: its name and
// folder as they were spelt, its description and its attribute.
static int write_output(const Settings& s, const Input& in, const Output& out, zk::Buffer& file)
{
    zk::CalcHeader header = in.header;
    if (s.name) header.set_varname(out.name);
    if (s.folder) header.set_folder(out.folder);
    zk::carry_calc_header(header, {file.data(), file.size()});
    if (zk::output_is_input(in.id, out.file.c_str())) return 1;
    return zk::write_whole_file(out.file.c_str(), {file.data(), file.size()}) ? 0 : 1;
}

static int pack(const Settings& s)
{
    Input in;
    if (read_variable(s.infile, in) != 0) return 1;
    const std::uint8_t tag = in.image.back();
    if (tag != zk::kCalcTagAsm || in.header.type_id() != zk::kCalcTypeIdAsm)
        return zk::fail("ERROR: %s is not an assembly program (type %s, type identifier 0x%02X)\n", s.infile,
                        zk::calc_type_name(tag), static_cast<unsigned>(in.header.type_id()));
    Output out;
    if (name_output(s, in, 'y', out) != 0) return 1;

    const std::size_t limit = zk::calc_max_other_content(kPackedType.size());
    zk::PackOptions options;
    options.effort = s.effort;
    std::vector<std::uint8_t> stream;
    switch (zk::pack_stream(in.image.data(), in.image.size(), options, stream)) {
    case zk::PackResult::Ok:
        if (stream.size() <= limit) break;
        [[fallthrough]];
    case zk::PackResult::StreamTooLong:
        return zk::fail("ERROR: packed program of %s would be longer than %zu bytes\n", s.infile, limit);
    case zk::PackResult::InputTooLong:
    case zk::PackResult::BadOption:  // no parameter is fixed
        return zk::fail("ERROR: program %s is too long to pack (%zu bytes, at most %zu)\n", s.infile,
                        in.image.size(), zk::kPackMaxOrigSize);
    case zk::PackResult::NoMemory:
        return fail_memory(zk::pack_working_memory(in.image.size()));
    }

    zk::Buffer file;
    if (zk::build_other_file(in.kind, out.folder, out.name, kPackedType, stream, file) != zk::CalcBuild::Ok)
        return fail_memory(zk::calc_other_file_size(stream.size(), kPackedType.size()));  // the length fits
    if (write_output(s, in, out, file) != 0) return 1;
    if (!s.quiet)
        zk::note("%zu bytes packed into %zu bytes, %zu bytes written to %s%s\n", in.image.size(), stream.size(),
                 file.size(), out.file.c_str(), stream.size() < in.image.size() ? "" : " (not smaller)");
    return 0;
}

static int restore(const Settings& s)
{
    Input in;
    if (read_variable(s.infile, in) != 0) return 1;
    std::optional<std::span<const std::uint8_t>> stream;
    if (in.header.type_id() == zk::kCalcTypeIdOther) stream = zk::calc_other_content(in.image, kPackedType);
    if (!stream) return zk::fail("ERROR: %s is not a packed program (a variable of type ppg)\n", s.infile);
    // The content is one stream, whole: csize counts every byte of it.
    if (stream->size() < zk::kPackHeaderSize || !zk::pack_has_magic(stream->data()) ||
        zk::pack_csize(stream->data()) != stream->size())
        return zk::fail("ERROR: %s does not hold one packed stream\n", s.infile);

    const std::size_t orig_size = zk::pack_orig_size(stream->data());
    zk::Buffer image;
    if (!image.resize(orig_size)) return fail_memory(orig_size);
    const int code = zk::unpack_stream(stream->data(), stream->size(), image.data(), orig_size);
    if (code != zk::kUnpackOk) return zk::fail("ERROR: cannot unpack %s (code %03d)\n", s.infile, code);
    const std::uint8_t* m = image.data();
    if (orig_size < 3 || (m[0] << 8 | m[1]) != static_cast<int>(orig_size - 2) || m[orig_size - 1] != zk::kCalcTagAsm)
        return zk::fail("ERROR: %s does not unpack to an assembly program\n", s.infile);
    Output out;
    if (name_output(s, in, 'z', out) != 0) return 1;

    const std::span<const std::uint8_t> data[] = {{m + 2, orig_size - 3}};
    zk::Buffer file;
    if (zk::build_calc_file({in.kind, out.folder, out.name, zk::kCalcTypeIdAsm, data, zk::kCalcTagAsm}, file) !=
        zk::CalcBuild::Ok)  // the length fits
        return fail_memory(orig_size + zk::kCalcHeaderSize);
    if (write_output(s, in, out, file) != 0) return 1;
    if (!s.quiet)
        zk::note("%zu bytes unpacked from %zu bytes, %zu bytes written to %s\n", orig_size, stream->size(),
                 file.size(), out.file.c_str());
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    Settings s;
    bool best = false;
    zk::ArgScan args(argc, argv);
    while (args.next()) {
        if (args.flag("-quiet"))
            s.quiet = true;
        else if (args.flag("-best"))
            best = true;
        else if (args.flag("-x"))
            s.restore = true;
        else
            args.positional({&s.infile, &s.name, &s.folder});
    }
    // Restoring packs nothing: -best with -x is a command line to read again.
    const zk::Scan scan = args.result(s.infile && !(best && s.restore));
    if (scan != zk::Scan::Ok) return zk::finish_scan(kId, kUsage, scan);
    if (best) s.effort = zk::PackEffort::Best;
    if (!s.quiet) zk::print_banner(kId);
    return zk::finish(s.restore ? restore(s) : pack(s));
}
