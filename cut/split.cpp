#include "split.h"

#include <algorithm>
#include <cstdio>

namespace zk::split {

// ---------------------------------------------------------------------------
// Offset file

// White space and digits as the C locale classifies them.
static bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
static bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool OffsetParser::fail(OffsetError error)
{
    list_.error = error;
    done_ = true;
    return false;
}

// Stores the number just read; false once the list is complete.
bool OffsetParser::end_number()
{
    state_ = State::Between;
    const auto value = static_cast<std::int32_t>(negative_ ? -magnitude_ : magnitude_);
    if (!list_.values.empty() && value < list_.values.back()) return fail(OffsetError::NotAscending);
    if (value == 0) return fail(OffsetError::Zero);
    list_.values.push_back(value);
    if (list_.values.size() == kMaxOffsets) {
        list_.dropped_rest = true;
        done_ = true;
    }
    return !done_;
}

bool OffsetParser::feed(std::string_view bytes)
{
    for (const char c : bytes) {
        if (done_) return false;
        switch (state_) {
        case State::Digits:
            if (is_digit(c)) {
                magnitude_ = magnitude_ * 10 + (c - '0');
                const std::int64_t limit = negative_ ? std::int64_t{INT32_MAX} + 1 : INT32_MAX;
                if (magnitude_ > limit) return fail(OffsetError::NotANumber);
                continue;
            }
            if (!end_number()) return false;
            [[fallthrough]];
        case State::Between:
            if (is_space(c)) continue;
            negative_ = c == '-';
            magnitude_ = 0;
            if (c == '-' || c == '+') {
                state_ = State::Sign;
                continue;
            }
            [[fallthrough]];
        case State::Sign:
            if (!is_digit(c)) return fail(OffsetError::NotANumber);
            magnitude_ = c - '0';
            state_ = State::Digits;
        }
    }
    return !done_;
}

OffsetList OffsetParser::finish(bool read_failed)
{
    if (!done_ && state_ == State::Digits) end_number();
    if (!done_ && (state_ == State::Sign || read_failed)) fail(OffsetError::NotANumber);
    done_ = true;
    return std::move(list_);
}

// ---------------------------------------------------------------------------
// Piece names

PieceNames piece_names_of(std::string_view input, std::string_view separators)
{
    const std::size_t last_separator = input.find_last_of(separators);
    const std::size_t name = last_separator == std::string_view::npos ? 0 : last_separator + 1;
    const std::size_t dot = input.find('.', name);
    if (dot == std::string_view::npos) return {std::string(input), ""};
    return {std::string(input.substr(0, dot)), std::string(input.substr(dot))};
}

std::string piece_name(const PieceNames& names, unsigned long number)
{
    char digits[24];
    std::snprintf(digits, sizeof digits, "%03lu", number);
    return names.prefix + "p" + digits + names.extension;
}

// ---------------------------------------------------------------------------
// Splitter

ByteRange byte_piece(const std::vector<std::int32_t>& offsets, std::size_t k, std::int64_t input_end)
{
    const std::int64_t start = k == 0 ? 0 : offsets[k - 1];
    const std::int64_t end = k < offsets.size() ? offsets[k] : input_end;
    return {start, end - start};
}

Splitter::Splitter(std::vector<std::int32_t> offsets, std::string_view tag, bool by_tag)
    : offsets_(std::move(offsets)), finder_(tag), by_tag_(by_tag)
{
}

Splitter Splitter::at_lines(std::vector<std::int32_t> offsets)
{
    return Splitter(std::move(offsets), {}, false);
}

Splitter Splitter::at_tag(std::string_view tag)
{
    return Splitter({}, tag, true);
}

bool Splitter::at_offset(std::int64_t line) const
{
    return next_offset_ < offsets_.size() && line == offsets_[next_offset_];
}

Step Splitter::next(std::string_view piece)
{
    Step step;
    const bool line_begins = at_line_start_;
    at_line_start_ = !piece.empty() && piece.back() == '\n';
    if (!by_tag_) {
        if (line_begins && at_offset(line_)) {
            ++next_offset_;
            step.next_piece = true;
        }
        if (at_line_start_) ++line_;
        step.write = piece;
        return step;
    }

    if (line_begins) {
        finder_.reset();
        in_tag_line_ = false;
        line_start_ = written_;
    }
    if (in_tag_line_) return step;
    if (finder_.feed(piece.data(), piece.size())) {
        // The line's bytes before this piece went out already.
        in_tag_line_ = true;
        if (written_ > line_start_) step.cut_back_to = line_start_;
        step.next_piece = true;
        written_ = 0;
        return step;
    }
    step.write = piece;
    written_ += static_cast<std::int64_t>(piece.size());
    return step;
}

Step Splitter::finish()
{
    Step step;
    if (by_tag_) return step;
    // A last line without a line feed ends here; the line after it may
    // still start a piece, an empty one.
    if (!at_line_start_) ++line_;
    at_line_start_ = true;
    if (at_offset(line_)) {
        ++next_offset_;
        step.next_piece = true;
    }
    return step;
}

}  // namespace zk::split
