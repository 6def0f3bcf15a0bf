// Calculator variable files built and checked by the tests themselves,
// independently of the library under test.
#pragma once

#include "cli.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace zktest {

inline constexpr char kSig89[] = "**TI89**";
inline constexpr char kSig92[] = "**TI92P*";

// A string variable's data: 0x00, the content, 0x00, the tag 0x2D.
inline Bytes string_data(const Bytes& content)
{
    Bytes d{0x00};
    d.insert(d.end(), content.begin(), content.end());
    d.push_back(0x00);
    d.push_back(0x2D);
    return d;
}

// A custom type's data: the content, 0x00, the type's name, 0x00, the tag 0xF8.
inline Bytes other_data(const Bytes& content, const std::string& type)
{
    Bytes d = content;
    d.push_back(0x00);
    d.insert(d.end(), type.begin(), type.end());
    d.push_back(0x00);
    d.push_back(0xF8);
    return d;
}

// The header's type identifiers of a string and of a custom type.
inline constexpr std::uint8_t kTypeIdString = 0x0C;
inline constexpr std::uint8_t kTypeIdOther = 0x1C;

// The sum of the bytes from offset 86 through the tag, modulo 65536.
inline unsigned checksum_of(const Bytes& file)
{
    unsigned sum = 0;
    for (std::size_t i = 86; i + 2 < file.size(); ++i) sum += file[i];
    return sum & 0xFFFF;
}

// A complete file around data (which ends with its type tag), with a
// correct length field, data size word and checksum.
inline Bytes calc_file(const Bytes& data, const std::string& signature = kSig89, const std::string& folder = "main",
                       const std::string& name = "x", std::uint8_t type_id = kTypeIdString)
{
    Bytes f(88, 0);
    auto put = [&](std::size_t at, const std::string& s, std::size_t width) {
        for (std::size_t i = 0; i < s.size() && i < width; ++i) f[at + i] = static_cast<std::uint8_t>(s[i]);
    };
    put(0, signature, 8);
    f[8] = 1;
    put(10, folder, 8);
    f[58] = 1;
    f[60] = 0x52;
    put(64, name, 8);
    f[72] = type_id;
    f[74] = 3;
    const std::size_t size = 90 + data.size();
    for (int i = 0; i < 4; ++i) f[76 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    f[80] = 0xA5;
    f[81] = 0x5A;
    f[86] = static_cast<std::uint8_t>(data.size() >> 8);
    f[87] = static_cast<std::uint8_t>(data.size());
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(0);
    f.push_back(0);
    unsigned sum = checksum_of(f);
    f[size - 2] = static_cast<std::uint8_t>(sum);
    f[size - 1] = static_cast<std::uint8_t>(sum >> 8);
    return f;
}

// The file's own rules: signature, length field, data size word, checksum
// and a known type tag.
inline void expect_valid_calc_file(const Bytes& f)
{
    ASSERT_GE(f.size(), 91u);
    std::string sig(f.begin(), f.begin() + 8);
    EXPECT_TRUE(sig == kSig89 || sig == kSig92) << sig;
    EXPECT_EQ(f[76] | f[77] << 8 | f[78] << 16 | static_cast<std::size_t>(f[79]) << 24, f.size());
    EXPECT_EQ(static_cast<std::size_t>(f[86] << 8 | f[87]), f.size() - 90);
    EXPECT_EQ(f[f.size() - 2] | f[f.size() - 1] << 8, checksum_of(f));
    std::uint8_t tag = f[f.size() - 3];
    EXPECT_TRUE(tag == 0x2D || tag == 0xF3 || tag == 0xF8) << int(tag);
}

}  // namespace zktest
