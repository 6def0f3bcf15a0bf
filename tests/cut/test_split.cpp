// The split library in process: the offset file, the piece names, the tag
// finder and the cutting of lines into pieces.
#include "cli.h"
#include "files.h"
#include "split.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

using namespace zktest;
namespace split = zk::split;

namespace {

// The list of the text fed in blocks of the given size.
split::OffsetList offsets_of(std::string_view text, std::size_t block = 4096, bool read_failed = false)
{
    split::OffsetParser parser;
    for (std::size_t at = 0; at < text.size() && parser.feed(text.substr(at, block)); at += block) {
    }
    return parser.finish(read_failed);
}

using Values = std::vector<std::int32_t>;

// The pieces of text, read by zk::LineReader in blocks of the given size,
// with every step applied as the tool applies it to its files.
std::vector<std::string> pieces_of(const std::string& text, split::Splitter splitter,
                                   std::size_t block = zk::LineReader::kBlock)
{
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    zk::LineReader lines(f, block);
    std::vector<std::string> pieces(1);
    std::string_view piece;
    for (bool more = true; more;) {
        more = lines.next(piece);
        const split::Step step = more ? splitter.next(piece) : splitter.finish();
        if (step.cut_back_to >= 0) {
            EXPECT_LT(static_cast<std::size_t>(step.cut_back_to), pieces.back().size());
            pieces.back().resize(static_cast<std::size_t>(step.cut_back_to));
        }
        if (step.next_piece) pieces.emplace_back();
        pieces.back() += step.write;
    }
    std::fclose(f);
    return pieces;
}

std::vector<std::string> at_lines(const std::string& text, Values offsets, std::size_t block = zk::LineReader::kBlock)
{
    return pieces_of(text, split::Splitter::at_lines(std::move(offsets)), block);
}

std::vector<std::string> at_tag(const std::string& text, std::string_view tag,
                                std::size_t block = zk::LineReader::kBlock)
{
    return pieces_of(text, split::Splitter::at_tag(tag), block);
}

// "line 1\n" up to "line n\n".
std::string numbered_lines(int first, int last)
{
    std::string text;
    for (int i = first; i <= last; ++i) text += "line " + std::to_string(i) + "\n";
    return text;
}

using Texts = std::vector<std::string>;

}  // namespace

// ---------------------------------------------------------------------------

TEST(SplitOffsets, FaultsEndTheList)
{
    // Malformed lists stop at their first fault.
    {
        struct Case {
            std::string text;
            split::OffsetError error;
            std::size_t at;  // the index of the faulty offset
        };
        using E = split::OffsetError;
        for (const Case& c : std::vector<Case>{{"3 x 5", E::NotANumber, 1},
                                               {"3 5x", E::NotANumber, 2},
                                               {"3\n4\n-", E::NotANumber, 2},
                                               {"0x10", E::Zero, 0},
                                               {"2147483648", E::NotANumber, 0},
                                               {"1 4294967298", E::NotANumber, 1},
                                               {"5 3", E::NotAscending, 1},
                                               {"5 0", E::NotAscending, 1},
                                               {"5-3", E::NotAscending, 1},
                                               {"0 5", E::Zero, 0},
                                               {"-3 0", E::Zero, 1},
                                               {"4 4 3", E::NotAscending, 2},
                                               {"5 99999999999999999999\n", E::NotANumber, 1}}) {
            for (std::size_t block : {1, 2, 4096}) {
                const split::OffsetList list = offsets_of(c.text, block);
                EXPECT_EQ(list.error, c.error) << c.text;
                EXPECT_EQ(list.values.size(), c.at) << c.text;
            }
        }
    }

    // A read error is a token that is not a number.
    {
        EXPECT_EQ(offsets_of("", 1, true).error, split::OffsetError::NotANumber);
        // The number under way counts first, and may fail by itself.
        split::OffsetList list = offsets_of("3 4", 1, true);
        EXPECT_EQ(list.values, (Values{3, 4}));
        EXPECT_EQ(list.error, split::OffsetError::NotANumber);
        EXPECT_EQ(offsets_of("-3 0", 1, true).error, split::OffsetError::Zero);
    }
}

TEST(SplitOffsets, ValuesAndTheirLimit)
{
    // Signs, separators and the bounds of 32 bits.
    {
        for (std::size_t block : {1, 3, 4096}) {
            split::OffsetList list = offsets_of("\t+02\r\n\n  005 5\v7\f", block);
            EXPECT_EQ(list.error, split::OffsetError::None);
            EXPECT_EQ(list.values, (Values{2, 5, 5, 7}));
            list = offsets_of("-2147483648 -5 2147483647", block);
            EXPECT_EQ(list.error, split::OffsetError::None);
            EXPECT_EQ(list.values, (Values{INT32_MIN, -5, INT32_MAX}));
        }
        EXPECT_TRUE(offsets_of("").values.empty());
        EXPECT_EQ(offsets_of(" \n\t\r\n  ").error, split::OffsetError::None);
    }

    // Reading stops after the 999th.
    {
        std::string text;
        for (int i = 1; i <= 999; ++i) text += std::to_string(i) + "\n";
        // The rest is never looked at, so neither the bad order nor the word matters.
        split::OffsetParser parser;
        EXPECT_FALSE(parser.feed(text + "5 junk"));
        split::OffsetList list = parser.finish(true);
        EXPECT_EQ(list.error, split::OffsetError::None);
        EXPECT_TRUE(list.dropped_rest);
        EXPECT_EQ(list.values.size(), 999u);
        EXPECT_EQ(list.values.back(), 999);

        // The 999th number ends with the file too, or with what follows it.
        EXPECT_TRUE(offsets_of(text.substr(0, text.size() - 1)).dropped_rest);
        EXPECT_EQ(offsets_of(text.substr(0, text.size() - 1) + "9").values.back(), 9999);

        list = offsets_of(text.substr(0, text.find("999\n")));
        EXPECT_FALSE(list.dropped_rest);
        EXPECT_EQ(list.values.size(), 998u);
    }
}

// ---------------------------------------------------------------------------

TEST(SplitNames, PieceNames)
{
    // The file name is split at its first dot.
    {
        struct Case {
            std::string input, prefix, extension, piece1;
        };
        for (const Case& c : std::vector<Case>{{"data", "data", "", "datap001"},
                                               {".profile", "", ".profile", "p001.profile"},
                                               {"a.b.c", "a", ".b.c", "ap001.b.c"},
                                               {"./sub/lf.txt", "./sub/lf", ".txt", "./sub/lfp001.txt"},
                                               {"sub.dir/in", "sub.dir/in", "", "sub.dir/inp001"},
                                               {"build.d/x.y.z", "build.d/x", ".y.z", "build.d/xp001.y.z"},
                                               {"dir/.hidden", "dir/", ".hidden", "dir/p001.hidden"},
                                               {"a\\b.c:d.e", "a\\b", ".c:d.e", "a\\bp001.c:d.e"}}) {
            const split::PieceNames names = split::piece_names_of(c.input, "/");
            EXPECT_EQ(names.prefix, c.prefix) << c.input;
            EXPECT_EQ(names.extension, c.extension) << c.input;
            EXPECT_EQ(split::piece_name(names, 1), c.piece1) << c.input;
        }
        // Where "\" and ":" end a directory part too.
        EXPECT_EQ(split::piece_names_of("a.d\\b.c", "/\\:").prefix, "a.d\\b");
        EXPECT_EQ(split::piece_names_of("c:x.y", "/\\:").prefix, "c:x");
        EXPECT_EQ(split::piece_names_of("c:.x", "/\\:").prefix, "c:");
    }

    // Numbers have at least three digits.
    {
        const split::PieceNames names{"in", ".txt"};
        EXPECT_EQ(split::piece_name(names, 0), "inp000.txt");
        EXPECT_EQ(split::piece_name(names, 999), "inp999.txt");
        EXPECT_EQ(split::piece_name(names, 1000), "inp1000.txt");
        EXPECT_EQ(split::piece_name({"", ""}, 4294967296ul), "p4294967296");
    }
}

// ---------------------------------------------------------------------------

TEST(SplitTagFinder, FindsTheTagAcrossEveryBorder)
{
    // Tags whose starts repeat inside them, so that a broken match must fall
    // back to a shorter one; the search is the frame's, as the splitter uses it.
    std::mt19937 rng(11);
    for (const std::string tag : {"aab", "abab", "aaaa", "abcab", "x"}) {
        for (int round = 0; round < 200; ++round) {
            std::string text;
            const std::size_t length = rng() % 24;
            for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + rng() % 3);
            zk::StreamSearch finder(tag);
            bool found = false;
            std::size_t fed = 0;
            while (fed < text.size()) {
                const std::size_t piece = std::min<std::size_t>(1 + rng() % 5, text.size() - fed);
                found = found || finder.feed(text.data() + fed, piece).has_value();
                fed += piece;
                ASSERT_EQ(found, text.substr(0, fed).find(tag) != std::string::npos) << tag << " in " << text;
            }
        }
    }
}

// ---------------------------------------------------------------------------

TEST(SplitLines, OffsetsStartPiecesAtThoseLines)
{
    // Offsets start pieces at those lines.
    {
        const std::string text = numbered_lines(1, 6);
        const Texts expected{numbered_lines(1, 2), numbered_lines(3, 4), numbered_lines(5, 6)};
        EXPECT_EQ(at_lines(text, {3, 5}), expected);
        EXPECT_EQ(at_lines(text, {3, 5}, 3), expected);

        // A last line without a line end, and an empty last piece.
        EXPECT_EQ(at_lines("a\n\nc", {3, 4}), (Texts{"a\n\n", "c", ""}));
        EXPECT_EQ(at_lines("a\n\nc", {3, 4}, 1), (Texts{"a\n\n", "c", ""}));
        EXPECT_EQ(at_lines("a\n\n", {3}), (Texts{"a\n\n", ""}));
    }

    // Unreached offsets leave pieces missing.
    {
        const std::string text = numbered_lines(1, 6);
        EXPECT_EQ(at_lines(text, {2, 4, 4, 5}), (Texts{numbered_lines(1, 1), numbered_lines(2, 3), numbered_lines(4, 6)}));
        EXPECT_EQ(at_lines(text, {3, 8}), (Texts{numbered_lines(1, 2), numbered_lines(3, 6)}));
    }

    // Long lines count once and carriage returns stay.
    {
        const std::string long_line(30000, 'x');
        const Texts expected{"a\n" + long_line + "\n", "b\r\n", long_line};
        for (std::size_t block : {7, 4096, 65536})
            EXPECT_EQ(at_lines("a\n" + long_line + "\nb\r\n" + long_line, {3, 4}, block), expected);
    }
}

TEST(SplitLines, MatchesCsplitByLineNumbers)
{
    if (std::system("command -v csplit >/dev/null 2>&1") != 0) GTEST_SKIP() << "no csplit";
    std::mt19937 rng(7);
    for (int round = 0; round < 5; ++round) {
        TempDir dir;
        std::string text;
        const int lines = 20 + static_cast<int>(rng() % 40);
        for (int i = 0; i < lines; ++i) text += std::string(rng() % 12, static_cast<char>('a' + i % 26)) + "\n";
        dir.write("in.txt", text);
        Values offsets;
        std::string offset_args;
        for (int at = 2; at <= lines; at += 1 + static_cast<int>(rng() % 7)) {
            offsets.push_back(at);
            offset_args += std::to_string(at) + " ";
        }
        const Texts pieces = at_lines(text, offsets, 16);
        const std::string cmd = "cd '" + dir.path().string() + "' && csplit -s -f c -n 3 in.txt " + offset_args;
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        ASSERT_EQ(pieces.size(), offsets.size() + 1);
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "c%03zu", k);
            EXPECT_EQ(pieces[k], dir.read_text(name)) << name;
        }
    }
}

// ---------------------------------------------------------------------------

TEST(SplitTag, TagLinesStartPiecesAndVanish)
{
    // Tag lines start pieces and vanish.
    {
        const std::string text = "a\n--CUT here--\nb\nc\n--CUT--\n--cut--\n";
        for (std::size_t block : {1, 5, 4096}) EXPECT_EQ(at_tag(text, "CUT", block), (Texts{"a\n", "b\nc\n", "--cut--\n"}));
        // No tag line gives a copy; an empty tag matches every line.
        EXPECT_EQ(at_tag("one\ntwo\nthree", "TAG"), (Texts{"one\ntwo\nthree"}));
        EXPECT_EQ(at_tag("a\nb\n", ""), (Texts{"", "", ""}));
        // A tag may hold the line end, never more.
        EXPECT_EQ(at_tag("ax\nb\nx\n", "x\n", 2), (Texts{"", "b\n", ""}));
        EXPECT_EQ(at_tag("a\nb\n", "a\nb"), (Texts{"a\nb\n"}));
    }

    // A long tag line is cut back out of its piece.
    {
        const std::string long_line(20000, 'y');
        const std::string text = long_line + "\n" + long_line + "TAG\n" + long_line + "\n" + long_line + "TA";
        for (std::size_t block : {3, 4096, 65536})
            EXPECT_EQ(at_tag(text, "TAG", block), (Texts{long_line + "\n", long_line + "\n" + long_line + "TA"}));
        // The tag split across the read blocks of one long line.
        EXPECT_EQ(at_tag("ab\n" + long_line + "TAG" + long_line + "\nz\n", "TAG", 20001),
                  (Texts{"ab\n", "z\n"}));
    }

    // Piece numbers go past 999.
    {
        std::string text;
        for (int i = 0; i < 1001; ++i) text += "x" + std::to_string(i) + "\n#\n";
        const Texts pieces = at_tag(text + "end\n", "#");
        ASSERT_EQ(pieces.size(), 1002u);
        EXPECT_EQ(pieces[999], "x999\n");
        EXPECT_EQ(pieces[1000], "x1000\n");
        EXPECT_EQ(pieces[1001], "end\n");
    }
}

