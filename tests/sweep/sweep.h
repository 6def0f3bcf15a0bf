// Support for the bad-input sweep: what every run of every tool must keep,
// whatever it was given.
#pragma once

#include "cli.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace zksweep {

using zktest::Bytes;
using zktest::RunResult;
using zktest::TempDir;

// The run ended by itself (no signal) and no sanitizer spoke. The sanitizer
// builds end with status 1 after a report, so the status alone proves nothing.
inline void expect_clean(const RunResult& r)
{
    EXPECT_NE(r.status, -1) << "the tool died of a signal; stderr:\n" << r.err;
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
}

// The lines of text that begin with prefix.
inline int lines_starting(const std::string& text, const std::string& prefix)
{
    int count = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (text.compare(at, prefix.size(), prefix) == 0) ++count;
        std::size_t nl = text.find('\n', at);
        if (nl == std::string::npos) break;
        at = nl + 1;
    }
    return count;
}

// Status 1 and exactly this text on standard error.
inline void expect_refused(const RunResult& r, const std::string& err)
{
    expect_clean(r);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, err);
}

// Status 1 and standard error holding one line, which begins "ERROR: ".
inline void expect_one_error(const RunResult& r)
{
    expect_clean(r);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

// A successful run whose standard output could not be written: the data
// are out, but the status says that the console lost its lines.
inline void expect_stdout_failure(const RunResult& r)
{
    expect_clean(r);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines_starting(r.err, "ERROR: "), 1) << r.err;
    EXPECT_TRUE(r.err.ends_with("ERROR: cannot write to stdout\n")) << r.err;
}

// The lengths 0..size that a cut of a file may leave, keeping only a few
// of those below `dense_from` (they all meet the same first check) and
// every one from there on.
inline std::vector<std::size_t> cut_lengths(std::size_t size, std::size_t dense_from,
                                            std::initializer_list<std::size_t> sparse)
{
    std::vector<std::size_t> lengths;
    for (std::size_t n : sparse)
        if (n < dense_from && n <= size) lengths.push_back(n);
    for (std::size_t n = dense_from; n <= size; ++n) lengths.push_back(n);
    return lengths;
}

inline Bytes prefix_of(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<long>(n)); }

inline std::string str(std::size_t n) { return std::to_string(n); }

}  // namespace zksweep
