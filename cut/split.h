// The pieces of zksplit: its offset file, the names of the pieces, and the
// cutting of an input into pieces at line numbers or at lines that hold a
// tag.
//
// Contract: bytes in memory in, decisions out. The offset file and the
// input are fed in blocks as the caller reads them, so memory stays
// constant whatever their length or the length of a line. The splitter
// says for each piece of input what becomes of it; the caller opens,
// writes, cuts back and closes the files. Nothing here prints or opens a
// file. Lines end at a line feed; a carriage return before it is part of
// the line.
#pragma once

#include "bytes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zk::split {

// ---------------------------------------------------------------------------
// Offset file: signed decimal numbers as "%d" reads them, separated by white
// space, non-decreasing and never 0.

// Piece numbers of an offset split have three digits, so 999 cut points
// make the most pieces the names can tell apart.
inline constexpr std::size_t kMaxOffsets = 999;

enum class OffsetError { None, NotANumber, NotAscending, Zero };

struct OffsetList {
    std::vector<std::int32_t> values;
    OffsetError error = OffsetError::None;  // at index values.size()
    bool dropped_rest = false;              // stopped after kMaxOffsets
};

class OffsetParser {
public:
    // The next bytes of the file. False once the list is complete (an
    // error, or kMaxOffsets offsets): what follows is never looked at.
    bool feed(std::string_view bytes);

    // The list once the file has ended. A read error counts as a token
    // that is not a number; a value outside 32 bits is not a number either.
    OffsetList finish(bool read_failed = false);

private:
    enum class State { Between, Sign, Digits };
    bool end_number();
    bool fail(OffsetError error);

    OffsetList list_;
    State state_ = State::Between;
    bool negative_ = false;
    std::int64_t magnitude_ = 0;
    bool done_ = false;
};

// ---------------------------------------------------------------------------
// Piece names: the input name split at the first "." of its file name (what
// follows the last of the separators), with "p" and the piece number
// between the two halves.

struct PieceNames {
    std::string prefix;
    std::string extension;  // from the first "." of the file name on; empty without one
};

PieceNames piece_names_of(std::string_view input, std::string_view separators);

// prefix + "p" + number as at least three digits + extension.
std::string piece_name(const PieceNames& names, unsigned long number);

// ---------------------------------------------------------------------------
// Cutting the input into pieces 0, 1, 2 ... at byte offsets

// Where a piece lies in the input: piece 0 from the start up to the first
// offset, piece k from offset k on up to offset k + 1, the last piece from
// the last offset up to input_end. A negative length (an offset beyond the
// next) reaches past any input.
struct ByteRange {
    std::int64_t start = 0;
    std::int64_t length = 0;
    // The bytes to copy: a negative length copies until the input ends.
    std::int64_t copy_length() const { return length < 0 ? INT64_MAX : length; }
};

// Piece k of offsets.size() + 1; input_end is used by the last piece only.
ByteRange byte_piece(const std::vector<std::int32_t>& offsets, std::size_t k, std::int64_t input_end);

// ---------------------------------------------------------------------------
// Cutting the input into pieces 0, 1, 2 ... at lines

// What becomes of one piece of input, in this order.
struct Step {
    std::int64_t cut_back_to = -1;  // >= 0: cut the current piece back to this many bytes
    bool next_piece = false;        // close the current piece and start the next
    std::string_view write;         // write these bytes to the current piece
};

class Splitter {
public:
    // A new piece starts at each line number of offsets (counted from 1),
    // taken in order: an offset not greater than the one before is never
    // reached, and no piece starts after it.
    static Splitter at_lines(std::vector<std::int32_t> offsets);

    // Every line that holds the tag ends the current piece and starts the
    // next; the line itself goes to no piece.
    static Splitter at_tag(std::string_view tag);

    // The next piece of input: part of one line, ending at its line feed
    // or before (as zk::LineReader hands them out).
    Step next(std::string_view piece);

    // The input has ended.
    Step finish();

private:
    explicit Splitter(std::vector<std::int32_t> offsets, std::string_view tag, bool by_tag);
    bool at_offset(std::int64_t line) const;

    std::vector<std::int32_t> offsets_;
    std::size_t next_offset_ = 0;
    zk::StreamSearch finder_;  // the tag, in the line under way
    bool by_tag_;
    bool at_line_start_ = true;
    bool in_tag_line_ = false;     // the rest of a tag line goes to no piece
    std::int64_t line_ = 1;        // the number of the line under way
    std::int64_t written_ = 0;     // bytes in the current piece
    std::int64_t line_start_ = 0;  // where the line under way began in it
};

}  // namespace zk::split
