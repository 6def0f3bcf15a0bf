// The files layer, in process.
#include "cli.h"
#include "files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using namespace zktest;

// A file of the temporary directory opened in mode.
static zk::File open_in(const TempDir& dir, const std::string& name, const char* mode)
{
    return zk::open_file(dir.file(name).c_str(), mode);
}

TEST(Files, ReadAllStopsOneByteAfterTheLimit)
{
    TempDir dir;
    dir.write("data", Bytes(70000, 0x5A));
    zk::Buffer b;
    zk::File f = open_in(dir, "data", "rb");
    EXPECT_EQ(zk::read_all(f.get(), 70000, b), zk::ReadAll::Ok);
    EXPECT_EQ(b.size(), 70000u);
    EXPECT_EQ(b.data()[69999], 0x5A);
    f = open_in(dir, "data", "rb");
    EXPECT_EQ(zk::read_all(f.get(), 69999, b), zk::ReadAll::TooLong);
    f = zk::open_file(dir.path().c_str(), "rb");
    ASSERT_TRUE(f);
    EXPECT_EQ(zk::read_all(f.get(), 100, b), zk::ReadAll::ReadError);
}

TEST(Files, SizeOfFilesOnlyAndPositionKept)
{
    TempDir dir;
    dir.write("data", std::string("0123456789"));
    zk::File f = open_in(dir, "data", "rb");
    std::fgetc(f.get());
    EXPECT_EQ(zk::file_size(f.get()), 10);
    EXPECT_EQ(std::fgetc(f.get()), '1');
    zk::File d = zk::open_file(dir.path().c_str(), "rb");
    EXPECT_EQ(zk::file_size(d.get()), std::nullopt);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    zk::File p(fdopen(fds[0], "rb"));
    EXPECT_EQ(zk::file_size(p.get()), std::nullopt);
    close(fds[1]);
}

TEST(Files, CopyRangeReportsAnInputThatEndsEarly)
{
    TempDir dir;
    dir.write("in", std::string("0123456789"));
    zk::File in = open_in(dir, "in", "rb");
    zk::File out = open_in(dir, "out", "wb");
    std::fputc('<', out.get());  // bytes the stream holds go before the copied ones
    EXPECT_EQ(zk::copy_range(in.get(), 2, 3, out.get()), zk::Copy::Ok);
    std::fputc('|', out.get());
    EXPECT_EQ(zk::copy_range(in.get(), 8, 5, out.get()), zk::Copy::InputEnded);
    EXPECT_EQ(zk::copy_range(in.get(), 7, 3, out.get()), zk::Copy::Ok);
    std::fputc('>', out.get());
    ASSERT_TRUE(zk::close_checked(out));
    EXPECT_EQ(dir.read_text("out"), "<234|89789>");

    dir.link_to_full("full");
    out = open_in(dir, "full", "wb");
    const zk::Copy c = zk::copy_range(in.get(), 0, 10, out.get());
    EXPECT_TRUE(c == zk::Copy::WriteError || !zk::close_checked(out));
}

TEST(FilesOutput, DiscardRemovesOnlyWhatItCreated)
{
    TempDir dir;
    zk::OutputFile out;
    ASSERT_TRUE(out.open(dir.file("made").c_str(), "wb"));
    out.discard();
    EXPECT_EQ(dir.list(), std::vector<std::string>{});

    dir.write("target", std::string("x"));
    std::filesystem::create_symlink("target", dir.file("link"));
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(mknod(dir.file("null").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
    for (const char* name : {"link", "fifo", "null"}) {
        // A FIFO opened for both ends does not wait for a reader.
        ASSERT_TRUE(out.open(dir.file(name).c_str(), std::string(name) == "link" ? "wb" : "r+b")) << name;
        std::fputc('y', out.get());
        out.discard();
        EXPECT_TRUE(dir.exists(name)) << name;
    }
    EXPECT_EQ(dir.read_text("target"), "x");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"fifo", "link", "null", "target"}));
}

// A link that leads nowhere yet gets its file where it leads, whole or not
// at all; the link stays.
TEST(FilesOutput, ALinkThatLeadsNowhereYet)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_symlink("sub/made", dir.file("link"));
    zk::OutputFile out;
    ASSERT_TRUE(out.open(dir.file("link").c_str(), "wb"));
    std::fputs("whole", out.get());
    EXPECT_FALSE(dir.exists("sub/made"));
    out.discard();
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"link", "sub"}));
    EXPECT_FALSE(dir.exists("sub/made"));

    ASSERT_TRUE(out.open(dir.file("link").c_str(), "wb"));
    std::fputs("whole", out.get());
    ASSERT_TRUE(out.commit());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
    EXPECT_EQ(dir.read_text("sub/made"), "whole");
}

TEST(FilesLines, PiecesEndAtLineFeedsOrAtTheBlock)
{
    TempDir dir;
    dir.write("text", std::string("ab\r\n\nlonger line\nend"));
    zk::File f = open_in(dir, "text", "rb");
    zk::LineReader lines(f.get(), 4);
    std::vector<std::string> pieces;
    std::string_view piece;
    while (lines.next(piece)) pieces.emplace_back(piece);
    EXPECT_FALSE(lines.read_failed());
    EXPECT_EQ(pieces, (std::vector<std::string>{"ab\r\n", "\n", "lon", "ger ", "line", "\n", "end"}));

    zk::File d = zk::open_file(dir.path().c_str(), "rb");
    zk::LineReader failing(d.get());
    EXPECT_FALSE(failing.next(piece));
    EXPECT_TRUE(failing.read_failed());
}

TEST(Files, CopyRestFromWhereAPipeStands)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "0123456789", 10), 10);
    close(fds[1]);
    zk::File in(fdopen(fds[0], "rb"));
    std::fgetc(in.get());
    std::fgetc(in.get());
    TempDir dir;
    zk::File out = open_in(dir, "out", "wb");
    EXPECT_EQ(zk::copy_rest(in.get(), out.get()), zk::Copy::Ok);
    ASSERT_TRUE(zk::close_checked(out));
    EXPECT_EQ(dir.read_text("out"), "23456789");

    zk::File d = zk::open_file(dir.path().c_str(), "rb");
    out = open_in(dir, "out", "wb");
    EXPECT_EQ(zk::copy_rest(d.get(), out.get()), zk::Copy::ReadError);
}

TEST(FilesPaths, OnlyTheSlashEndsADirectoryHere)
{
    EXPECT_EQ(zk::path_separators(), "/");
}

// Two spellings of one output are one output before either file is made;
// a link that leads nowhere yet is the name it leads to.
TEST(FilesPaths, SameOutputWhetherOrNotItIsThere)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_symlink("x.bin", dir.file("lx.bin"));
    std::filesystem::create_symlink("sub/y.bin", dir.file("ly.bin"));
    const auto same = [&](const std::string& a, const std::string& b) {
        return zk::same_output(dir.file(a).c_str(), dir.file(b).c_str());
    };
    EXPECT_TRUE(same("o.bin", "sub/../o.bin"));
    EXPECT_TRUE(same("lx.bin", "x.bin"));
    EXPECT_TRUE(same("ly.bin", "sub/./y.bin"));
    EXPECT_FALSE(same("o.bin", "sub/o.bin"));
    EXPECT_FALSE(same("x.bin", "y.bin"));

    dir.write("o.bin", std::string("o"));
    ASSERT_EQ(link(dir.file("o.bin").c_str(), dir.file("hard.bin").c_str()), 0);
    EXPECT_TRUE(same("o.bin", "hard.bin"));
    EXPECT_FALSE(same("o.bin", "x.bin"));
    const std::string here = std::filesystem::current_path();
    std::filesystem::current_path(dir.file("sub"));
    EXPECT_TRUE(zk::same_output("y.bin", "./y.bin"));
    std::filesystem::current_path(here);
}
