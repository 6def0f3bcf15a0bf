// The cases the calculator decoder is run on, natively and on the emulated
// 68000, each with the answer of the desktop decoder or zkunarchive.
#pragma once

#include "cli.h"
#include "decode_answers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zkrt {

enum class Op : std::uint8_t { Unpack, Count, Size, Extract };

struct Job {
    std::string name;
    Op op = Op::Unpack;
    Bytes input;              // the stream or the archive: avail = its length
    std::size_t readable = 0; // how many of its bytes the decoder may read
    long index = 0;           // the entry of Size and Extract
    std::size_t room = 0;     // the output's length
    std::size_t may_write = 0; // the decoder may write dst[0] to dst[may_write - 1], whatever it answers
    Answer answer;
};

// zk_unpack of stream as it is, with exactly its orig_size of room, with
// more room and three bytes beyond its csize, and (unless only_whole) with
// a byte of room too few and with its last byte missing.
void add_stream_jobs(std::vector<Job>& jobs, const std::string& name, const Bytes& stream, bool only_whole = false);

// zka_count, and zka_size and zka_extract of every entry and of the
// numbers just outside them, with exactly the room the entry needs, a byte
// less and more.
void add_archive_jobs(std::vector<Job>& jobs, const std::string& name, const Bytes& arc);

// Every corpus file as zkpack packed it at build time, with its own
// choice of E, G and X and with a fixed one (empty without the corpus).
std::vector<Job> corpus_jobs();

// Streams of the kinds the packer and decoder tests make, and damaged ones.
std::vector<Job> stream_jobs();

// Archives from zkarchive (packed, stored, empty and short entries), left
// in dir as packed.89y, packed92.9xy and stored.89y, and archives built
// here, damaged ones among them.
std::vector<Job> archive_jobs(const zktest::TempDir& dir);

// What a calculator program gets of the variable in a variable file: the
// bytes after its data size word, the type tag last.
Bytes variable_content(const Bytes& file);

// Whether the decoder's result and output (the room bytes at dst after the
// call, which held fill before it) are the job's answer.
testing::AssertionResult agrees(const Job& job, long result, const std::uint8_t* dst, std::uint8_t fill);

}  // namespace zkrt
