// zkpng2bin: turns a PNG into the raw bitmap that zktiler cuts, one plane
// (black and white) or two (four grey levels), with a mask plane on
// request; or into a picture variable of the TI-89 or TI-92 Plus.
#include "frame.h"
#include "picture.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

static constexpr const zk::ToolId& kId = zk::tool("zkpng2bin");

static constexpr const char kUsage[] =
    "Usage: zkpng2bin [-quiet] [-gray4] [-invert] [-threshold <n>] [-mask <maskfile>] <infile> <outfile>\n"
    "       zkpng2bin [-quiet] [-invert] [-threshold <n>] <-s89 | -s92> <infile> <name> [folder]\n"
    "\n"
    "       -quiet           ... don't output standard messages\n"
    "       -gray4           ... four grey levels: two planes, the light one first\n"
    "       -invert          ... swap light and dark\n"
    "       -threshold <n>   ... black below lightness n (1..255, default 128)\n"
    "       -mask <maskfile> ... also write a plane set where the PNG is opaque\n"
    "       -s89             ... write the TI89 picture variable <name>.89i\n"
    "       -s92             ... write the TI92 picture variable <name>.9xi\n"
    "\n"
    "       writes the raw bitmap zktiler reads: rows padded to a multiple\n"
    "       of 8 pixels, the stored width being the one to give zktiler\n";

// A PNG of the largest image read, 16-bit RGBA without compression, is some
// 135 MB; the rest is room for the chunks beside the image.
static constexpr std::size_t kMaxPngFileSize = std::size_t{256} << 20;

struct Settings {
    std::vector<const char*> files;  // infile outfile, or infile name [folder]
    bool quiet = zk::quiet_environment();
    zk::picture::Levels levels;
    bool threshold_given = false;
    const char* maskfile = nullptr;
    std::optional<zk::CalcKind> kind;  // a picture variable for this calculator
};

static int fail_png(const zk::png::Result& r, const char* name)
{
    using zk::png::Status;
    switch (r.status) {
    case Status::Ok:
        return 0;
    case Status::NotPng:
        return zk::fail("ERROR: %s is not a PNG file\n", name);
    case Status::Truncated:
        return zk::fail("ERROR: %s is a damaged PNG file: it ends early\n", name);
    case Status::BadCrc:
        return zk::fail("ERROR: %s is a damaged PNG file: chunk %s has a wrong CRC\n", name, r.chunk.data());
    case Status::BadHeader:
        return zk::fail("ERROR: %s is a damaged PNG file: its header (IHDR) is invalid\n", name);
    case Status::BadChunk:
        return zk::fail("ERROR: %s is a damaged PNG file: chunk %s is missing, invalid or out of place\n", name,
                        r.chunk.data());
    case Status::BadData:
        return zk::fail("ERROR: %s is a damaged PNG file: its image data are corrupt\n", name);
    case Status::BadPalette:
        return zk::fail("ERROR: %s is a damaged PNG file: a pixel's index lies beyond its palette\n", name);
    case Status::TooLarge:
        return zk::fail("ERROR: %s is too large (%u x %u pixels; at most %llu pixels, %u on a side)\n", name,
                        static_cast<unsigned>(r.header.width), static_cast<unsigned>(r.header.height),
                        static_cast<unsigned long long>(zk::png::kMaxPixels), static_cast<unsigned>(zk::png::kMaxSide));
    case Status::NoMemory:
        return zk::fail("ERROR: cannot allocate memory (%zu bytes)\n", r.allocation);
    }
    return 1;
}

// The planes of the PNG file infile (and its mask when one is asked for);
// picture_only refuses a PNG too large for a picture variable before its
// pixels are decoded.
static int convert(const Settings& s, bool picture_only, zk::picture::Bitmap& bitmap, zk::picture::Bitmap* mask,
                   std::optional<zk::FileId>& input_id)
{
    const char* infile = s.files[0];
    zk::Buffer file;
    switch (zk::read_input(infile, kMaxPngFileSize, file, input_id)) {
    case zk::ReadAll::Ok:
        break;
    case zk::ReadAll::TooLong:
        return zk::fail("ERROR: inputfile %s is too long (more than %zu bytes)\n", infile, kMaxPngFileSize);
    default:
        return 1;
    }
    const std::span<const std::uint8_t> bytes(file.data(), file.size());
    zk::png::Chunks chunks;
    zk::png::Result r = zk::png::check(bytes, chunks);
    if (r.status != zk::png::Status::Ok) return fail_png(r, infile);
    const zk::png::Header& h = chunks.header;
    if (picture_only && !zk::picture::picture_fits(h.width, h.height))
        return zk::fail("ERROR: %s is too large for a picture variable (%u x %u pixels, more than %u bytes of data)\n",
                        infile, static_cast<unsigned>(h.width), static_cast<unsigned>(h.height),
                        static_cast<unsigned>(zk::kCalcMaxDataSize));
    zk::png::Image image;
    r = zk::png::decode(bytes, chunks, image);
    if (r.status != zk::png::Status::Ok) return fail_png(r, infile);
    std::size_t needed = 0;
    if (!zk::picture::to_bitmap(image, s.levels, bitmap, mask, needed))
        return zk::fail("ERROR: cannot allocate memory (%zu bytes)\n", needed);
    return 0;
}

// Both files written whole before either takes its name, so that a full
// disk leaves neither behind.
static bool write_both(const char* outfile, const zk::Buffer& bitmap, const char* maskfile, const zk::Buffer& mask)
{
    zk::OutputFile out, mask_out;
    if (!zk::open_output(out, outfile, "wb") || !zk::open_output(mask_out, maskfile, "wb")) return false;
    std::fwrite(bitmap.data(), 1, bitmap.size(), out.get());
    std::fwrite(mask.data(), 1, mask.size(), mask_out.get());
    for (const auto& [file, name] : {std::pair{&out, outfile}, std::pair{&mask_out, maskfile}}) {
        if (std::fflush(file->get()) != 0 || std::ferror(file->get())) {
            zk::fail_output(name);
            return false;
        }
    }
    if (!out.commit()) {
        zk::fail_output(outfile);
        return false;
    }
    if (!mask_out.commit()) {
        zk::fail_output(maskfile);
        return false;
    }
    return true;
}

static int write_bitmap(const Settings& s)
{
    const char* outfile = s.files[1];
    zk::picture::Bitmap bitmap, mask;
    std::optional<zk::FileId> input_id;
    if (convert(s, false, bitmap, s.maskfile ? &mask : nullptr, input_id) != 0) return 1;

    if (zk::output_is_input(input_id, outfile)) return 1;
    if (s.maskfile) {
        if (zk::output_is_input(input_id, s.maskfile)) return 1;
        if (zk::same_output(outfile, s.maskfile))
            return zk::fail("ERROR: maskfile %s is the outputfile\n", s.maskfile);
        if (!write_both(outfile, bitmap.bytes, s.maskfile, mask.bytes)) return 1;
    } else if (!zk::write_whole_file(outfile, {bitmap.bytes.data(), bitmap.bytes.size()})) {
        return 1;
    }
    if (s.quiet) return 0;
    zk::note("%zu bytes written to %s (width %u, height %u, %s)\n", bitmap.bytes.size(), outfile,
             static_cast<unsigned>(bitmap.stored_width()), static_cast<unsigned>(bitmap.height),
             bitmap.planes == zk::picture::Planes::Mono ? "mono" : "gray4");
    if (s.maskfile) zk::note("%zu bytes written to %s (mask)\n", mask.bytes.size(), s.maskfile);
    return 0;
}

static int write_picture(const Settings& s)
{
    const char* name = s.files[1];
    const char* folder_arg = s.files.size() > 2 ? s.files[2] : nullptr;
    std::string outfile;
    if (!zk::output_named_after(name, zk::calc_extension(*s.kind, 'i'), outfile)) return 1;
    const std::string_view base = zk::base_name(name);
    const std::optional<std::string> varname = zk::calc_stored_name(base);
    if (!varname)
        return zk::fail("ERROR: invalid variable name %.*s (%s)\n", static_cast<int>(base.size()), base.data(),
                        zk::kCalcNameRule);
    std::optional<std::string> folder;
    if (folder_arg && !(folder = zk::calc_stored_name(folder_arg)))
        return zk::fail("ERROR: invalid folder name %s (%s)\n", folder_arg, zk::kCalcNameRule);

    zk::picture::Bitmap bitmap;
    std::optional<zk::FileId> input_id;
    if (convert(s, true, bitmap, nullptr, input_id) != 0) return 1;
    zk::Buffer file;
    const std::string_view folder_name = folder ? std::string_view(*folder) : zk::kCalcDefaultFolder;
    if (zk::picture::build_picture_file(*s.kind, folder_name, *varname, bitmap, file) != zk::CalcBuild::Ok)
        return zk::fail("ERROR: cannot allocate memory (%zu bytes)\n",  // the size was checked
                        bitmap.plane_size() + zk::picture::kPictureSizeBytes + 1 + zk::kCalcFraming);

    if (zk::output_is_input(input_id, outfile.c_str())) return 1;
    if (!zk::write_whole_file(outfile.c_str(), {file.data(), file.size()})) return 1;
    if (!s.quiet) zk::note("%zu bytes written to %s\n", file.size(), outfile.c_str());
    return 0;
}

static zk::Scan scan_arguments(int argc, char** argv, Settings& s)
{
    zk::ArgScan args(argc, argv);
    while (args.next()) {
        if (args.flag("-quiet")) {
            s.quiet = true;
        } else if (args.flag("-gray4")) {
            s.levels.planes = zk::picture::Planes::Gray4;
        } else if (args.flag("-invert")) {
            s.levels.invert = true;
        } else if (args.number("-threshold", 1, 255, s.levels.threshold)) {
            s.threshold_given = true;
        } else if (const std::optional<zk::CalcKind> kind = zk::calc_kind_of_flag(args.word())) {
            s.kind = kind;
        } else if (!args.value("-mask", s.maskfile)) {
            args.positional(s.files);
        }
    }
    const bool gray4 = s.levels.planes == zk::picture::Planes::Gray4;
    // A picture variable holds one plane and no mask; -threshold sets the
    // one boundary of one plane.
    const bool complete = s.kind ? (s.files.size() == 2 || s.files.size() == 3) && !gray4 && !s.maskfile
                                 : s.files.size() == 2;
    return args.result(complete && !(gray4 && s.threshold_given));
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    Settings s;
    const zk::Scan scan = scan_arguments(argc, argv, s);
    if (scan != zk::Scan::Ok) return zk::finish_scan(kId, kUsage, scan);
    if (!s.quiet) zk::print_banner(kId);
    return zk::finish(s.kind ? write_picture(s) : write_bitmap(s));
}
