#include "archive.h"
#include "pack_inputs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKArchive", "1.0");
Bytes random_bytes(std::size_t n, std::mt19937& rng, Bytes head = {})
{
    while (head.size() < n) head.push_back(static_cast<std::uint8_t>(rng()));
    return head;
}

struct Input {
    std::string path;
    Bytes data;
    bool packed;       // as zkarchive should put it
    std::string name;  // as the record keeps it
};

// Files of every kind, each short stored entry followed by bytes that read
// as "ZP" where the reader tests for a packed stream: a packed stream's own
// magic, or the next entry's first bytes.
std::vector<Input> mixed_inputs()
{
    std::mt19937 rng(15);
    return {
        {"empty", {}, false, "empty"},
        {"maps/level1.txt", structured_data(3000, rng), true, "level1"},
        {"zp.bin", random_bytes(300, rng, {'a', 'b', 'Z', 'P'}), true, "zp"},
        {"two", bytes_of("ab"), false, "two"},
        {"noise.bin", random_bytes(2000, rng, {'Z', 'P', 0, 0}), false, "noise"},
        {"three", bytes_of("xyZ"), false, "three"},
        {"p.bin", random_bytes(100, rng, {'P'}), false, "p"},
        {"verylongname.data", Bytes(5000, 'A'), true, "verylong"},
    };
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The archive in a written file, read with the library's reader.
zk::Archive archive_in(const Bytes& file)
{
    return zk::open_archive(std::span(file).subspan(86, file.size() - 88)).value();
}

}  // namespace

TEST(ZkArchiveArgs, UsageAndInvalidOption)
{
    TempDir dir;
    expect_usage("zkarchive", dir, kBanner + run_tool("zkarchive", {"--help"}, dir).out,
                 {{"-s89"}, {"-s89", "arc"}, {"-store", "arc", "a"}});
    RunResult r = run_tool("zkarchive", {"-s89", "arc", "a", "-best"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: invalid option -best\n");
    EXPECT_TRUE(dir.list().empty());
}

// Everything zkarchive writes, zkunarchive lists with the same sizes and
// extracts byte for byte; the file is a sound variable of the type "zka".
TEST(ZkArchiveRoundTrip, EveryKindOfEntryThroughZkunarchive)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "maps");
    const std::vector<Input> inputs = mixed_inputs();
    std::vector<std::string> args{"-s89", "levels"};
    long total = 0;
    for (const Input& in : inputs) {
        dir.write(in.path, in.data);
        args.push_back(in.path);
        total += static_cast<long>(in.data.size());
    }
    RunResult made = run_tool("zkarchive", args, dir);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.err, "");
    const Bytes file = dir.read("levels.89y");
    expect_valid_calc_file(file);
    EXPECT_EQ(file[72], kTypeIdOther);
    EXPECT_EQ(Bytes(file.end() - 8, file.end() - 2), (Bytes{0, 'z', 'k', 'a', 0, 0xF8}));

    RunResult listed = run_tool("zkunarchive", {"levels.89y"}, dir);
    ASSERT_EQ(listed.status, 0);
    const std::string unarchive_banner = banner("ZKUnArchive", "1.3");
    ASSERT_EQ(normalized(listed.out).substr(0, unarchive_banner.size()), unarchive_banner);
    const std::vector<std::string> entry_lines = lines_of(normalized(listed.out).substr(unarchive_banner.size()));
    ASSERT_EQ(entry_lines.size(), inputs.size() + 2);
    EXPECT_EQ(entry_lines[1], "Entries: 8");
    std::string expected = kBanner;
    for (std::size_t i = 0; i < inputs.size(); ++i)
        expected += entry_lines[i + 2] + (inputs[i].packed ? " packed " : " stored ") + inputs[i].path + "\n";
    expected += std::to_string(file.size()) + " bytes written to levels.89y (8 entries of " + std::to_string(total) +
                " bytes)\n";
    EXPECT_EQ(normalized(made.out), expected);

    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(inputs[i].path);
        const std::string out = "out" + std::to_string(i);
        EXPECT_EQ(run_tool("zkunarchive", {"levels.89y", std::to_string(i), out}, dir).status, 0);
        EXPECT_EQ(dir.read(out), inputs[i].data);
        std::string name = inputs[i].name;
        name.resize(12, '\0');
        EXPECT_EQ(std::string(file.begin() + 94 + 16 * static_cast<long>(i) + 4,
                              file.begin() + 94 + 16 * static_cast<long>(i) + 16),
                  name);
    }
    RunResult sum = run_tool("zkchecksum", {"levels.89y"}, dir);
    EXPECT_NE(sum.err.find("checksum already ok. will not patch.\n"), std::string::npos) << sum.err;
}

// -store packs only what would read as packed; -s92 writes the twin file.
TEST(ZkArchiveRoundTrip, StoreFlagAndTheTi92Plus)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "maps");
    std::vector<std::string> args{"-store", "arc", "-s92"};
    for (const Input& in : mixed_inputs()) {
        dir.write(in.path, in.data);
        args.push_back(in.path);
    }
    RunResult made = run_tool("zkarchive", args, dir);
    ASSERT_EQ(made.status, 0) << made.err;
    const Bytes file = dir.read("arc.9xy");
    expect_valid_calc_file(file);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 8), kSig92);
    const zk::Archive a = archive_in(file);
    ASSERT_EQ(a.nr_entries, 8);
    for (int i = 0; i < a.nr_entries; ++i) EXPECT_EQ(zk::archive_entry(a, i).packed, i == 2) << i;  // zp.bin
}

// Each limit is refused with the file that breaks it, and nothing is written.
TEST(ZkArchiveLimits, RefusedNamingTheFile)
{
    TempDir dir;
    std::mt19937 rng(3);
    dir.write("small", bytes_of("abc"));
    dir.write("huge", Bytes(65536, 'h'));
    dir.write("zpnoise", random_bytes(65535, rng, {0, 0, 'Z', 'P'}));
    dir.write("most", random_bytes(65507, rng));
    const std::vector<std::string> before = dir.list();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"small", "huge"}, "ERROR: inputfile huge is too long (more than 65535 bytes)\n"},
        {{"zpnoise"},
         "ERROR: inputfile zpnoise begins like a packed stream (\"ZP\" at offset 2) and cannot be packed\n"},
        // Refused at once: the files after it are not even opened.
        {{"small", "most", "missing"},
         "ERROR: archive big.89y would be too large with inputfile most (more than 65529 bytes)\n"},
    };
    for (const auto& [files, message] : cases) {
        std::vector<std::string> args{"-s89", "-store", "big"};
        args.insert(args.end(), files.begin(), files.end());
        RunResult r = run_tool("zkarchive", args, dir);
        EXPECT_EQ(r.status, 1) << message;
        EXPECT_EQ(normalized(r.out), kBanner);
        EXPECT_EQ(r.err, message);
        EXPECT_EQ(dir.list(), before);
    }
    // The largest archive fits to the byte.
    RunResult r = run_tool("zkarchive", {"-s89", "-store", "big", "most"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("big.89y").size(), 65625u);
    EXPECT_EQ(archive_in(dir.read("big.89y")).nr_entries, 1);
}

// More entries than the reader counts, refused before any input is read.
// (A command line this long exceeds what Windows passes to a program.)
TEST(ZkArchiveLimits, EntryCountRefusedBeforeAnyRead)
{
    ZK_SKIP_ON_WINDOWS("a command line over 32767 characters");
    TempDir dir;
    const std::vector<std::string> before = dir.list();
    std::vector<std::string> many{"-s89", "big"};
    for (int i = 0; i < 32768; ++i) many.push_back("x");
    many.back() = "last";
    const RunResult r = run_tool("zkarchive", many, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: inputfile last is entry 32767: an archive holds at most 32767 entries\n");
    EXPECT_EQ(dir.list(), before);
}

TEST(ZkArchiveOutput, InputsAndUnwritableOutputsRefused)
{
    TempDir dir;
    dir.write("a.89y", bytes_of("abc"));
    RunResult r = run_tool("zkarchive", {"-s89", "b", "a.89y", "a.89y"}, dir);  // one input twice is fine
    EXPECT_EQ(r.status, 0) << r.err;
    r = run_tool("zkarchive", {"-s89", "a", "b.89y", "a.89y"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: outputfile a.89y is the inputfile\n");
    EXPECT_EQ(dir.read_text("a.89y"), "abc");

    dir.link_to_full("full.89y");
    r = run_tool("zkarchive", {"-s89", "full", "a.89y"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: cannot write outputfile full.89y\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.89y", "b.89y", "full.89y"}));
}
