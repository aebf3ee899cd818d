// One track of a container's table, as far as the patch needs it: every
// container format reads its own table into a list of these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sector_layout.hpp"

struct track {
    std::string file;         // the file that stores it, as the table names it
    std::int64_t offset = 0;  // byte offset of its index 1 in that file
    std::int64_t end = -1;    // where its stored sectors end in the file; -1: at the file's end
    sector_layout layout{0, 0};
    bool data = false;              // a Mode 1 or Mode 2 Form 1 track: it can hold a System Area
    bool mode_from_header = false;  // raw, Mode 1 or 2 as its first sector's header says
    int session = 1;
};

using track_list = std::vector<track>;

// No table names more: a CD holds at most 99 tracks.
constexpr std::size_t most_tracks = 99;
