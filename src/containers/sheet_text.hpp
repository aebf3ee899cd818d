// The text that cue sheets, cdrdao tocs and CloneCD descriptors share:
// lines in LF or CRLF after an optional UTF-8 byte-order mark, words with
// quoted names, ASCII keywords in any letter case, and mm:ss:ff positions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What separates words; CR ends a line that LF ends after it.
constexpr std::string_view sheet_blanks = " \t\r\f\v";

std::vector<std::string_view> sheet_lines(std::string_view text);

// A line's words, split at blanks; a quoted word may hold blanks and loses
// its quotes.
std::vector<std::string> sheet_words(std::string_view line);

// A whole number of decimal digits, or (with `hex`) of hex digits after
// "0x"; none if anything else is there or it could pass 10^15.
std::optional<std::int64_t> whole_number(std::string_view text, bool hex = false);

// mm:ss:ff, 75 frames a second: the number of frames (sectors).
std::optional<std::int64_t> msf_frames(std::string_view text);

// The same from its three fields; none where one is missing or out of its
// range.
std::optional<std::int64_t> msf_frames(std::optional<std::int64_t> minutes,
                                       std::optional<std::int64_t> seconds,
                                       std::optional<std::int64_t> frames);
