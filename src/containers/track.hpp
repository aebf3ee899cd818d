// One track of a container's table, as far as the patch needs it: every
// container format reads its own table into a list of these.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii_words.hpp"
#include "sectors/sector_layout.hpp"

struct track {
    std::string file;         // the file that stores it, as the table names it
    std::int64_t offset = 0;  // byte offset of its index 1 in that file
    std::int64_t end = -1;    // where its stored sectors end in the file; -1: at the file's end
    sector_layout layout{0, 0};
    bool data = false;              // a Mode 1 or Mode 2 Form 1 track: it can hold a System Area
    bool mode_from_header = false;  // raw, Mode 1 or 2 as its first sector's header says
    int session = 1;
    std::int32_t shown_size = 0;  // what `sector size` reports where it is not layout.sector_size
};

using track_list = std::vector<track>;

// A kind of track as a text table names it, and how it stores its sectors.
struct track_kind {
    std::string_view name;
    sector_layout layout;
    bool data;  // Mode 1 or Mode 2 Form 1: it can hold a System Area
};

// The kind that `kinds` names `word`, in any letter case; null for none.
template <typename Kinds>
const track_kind* kind_named(const Kinds& kinds, std::string_view word) {
    const auto* kind =
        std::find_if(std::begin(kinds), std::end(kinds),
                     [word](const track_kind& k) { return same_word(k.name, word); });
    return kind == std::end(kinds) ? nullptr : kind;
}

// No table names more: a CD holds at most 99 tracks.
constexpr std::size_t most_tracks = 99;

// The bytes of a table that the reader gets, from `at` in the container
// file, and the container's own file name (no folder), which names the
// data files of some kinds. None when the table does not parse.
using table_reader = std::optional<track_list> (*)(std::string_view table, std::int64_t at,
                                                   std::string_view own_name);

// Where a container keeps its table.
struct table_span {
    std::int64_t offset = 0;
    std::int64_t length = -1;  // -1: where the table should be, nothing trustworthy is
};
