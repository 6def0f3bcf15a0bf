// The lines zktiler prints for a bitmap it refuses, which zkbin2png prints
// for the same checks too. They are the tools' words, kept out of the tile
// library, which prints nothing and tells which check failed: only tools
// include this header, as it needs the frame.
#pragma once

#include "frame.h"
#include "tiles.h"

#include <array>

namespace zk::tiles {

// The line of each check of the numbers: the argument's text for a number
// that does not parse, nothing for the comparisons with width and height,
// the number read otherwise.
struct NumberMessage {
    NumberCheck check;
    const char* format;
};

inline constexpr NumberMessage kNumberMessages[] = {
    {{Number::Width, Rule::Parses}, "ERROR: cannot parse width=%s\n"},
    {{Number::Width, Rule::MultipleOf8}, "ERROR: width not multiple of 8 (width=%d)\n"},
    {{Number::Width, Rule::Positive}, "ERROR: negative or zero width not allowed (width=%d)\n"},
    {{Number::Height, Rule::Parses}, "ERROR: cannot parse height=%s\n"},
    {{Number::Height, Rule::Positive}, "ERROR: negative or zero height not allowed (height=%d)\n"},
    {{Number::TileWidth, Rule::Parses}, "ERROR: cannot parse tilewidth=%s\n"},
    {{Number::TileWidth, Rule::Positive}, "ERROR: negative or zero tilewidth not allowed (tilewidth=%d)\n"},
    {{Number::TileWidth, Rule::AtMost32}, "ERROR: tilewidth larger than 32 not allowed (tilewidth=%d)\n"},
    {{Number::TileWidth, Rule::AtMostWidth}, "ERROR: tilewidth larger than width\n"},
    {{Number::TileHeight, Rule::Parses}, "ERROR: cannot parse tileheight=%s\n"},
    {{Number::TileHeight, Rule::Positive}, "ERROR: negative or zero tileheight not allowed (tileheight=%d)\n"},
    {{Number::TileHeight, Rule::AtMostHeight}, "ERROR: tileheight larger than height\n"},
    {{Number::Entries, Rule::Parses}, "ERROR: cannot parse entries=%s\n"},
    {{Number::Entries, Rule::OneTo20}, "ERROR: invalid value for entries (entries=%d)\n"},
};

// The line of a failed check of the numbers, whose texts are numbers; 1.
inline int fail_number(const GeometryFailure& failure, const std::array<const char*, kNumbers>& numbers)
{
    for (const NumberMessage& m : kNumberMessages) {
        if (m.check != failure.check) continue;
        switch (failure.check.rule) {
        case Rule::Parses:
            return fail(m.format, numbers[static_cast<std::size_t>(failure.check.number)]);
        case Rule::AtMostWidth:
        case Rule::AtMostHeight:
            return fail("%s", m.format);
        default:
            return fail(m.format, failure.value);
        }
    }
    return 1;
}

// A bitmap whose size is that of neither one plane nor two; 1.
inline int fail_bitmap_size(long long filesize)
{
    return fail("ERROR: filesize (%lld) doesn't correspond with height/width\n", filesize);
}

}  // namespace zk::tiles
