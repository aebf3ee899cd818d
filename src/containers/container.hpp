// Which kind of container an image argument names, where that kind keeps
// its track table, and the reader that turns the table into tracks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "containers/track.hpp"

// A table is read into memory whole: no real one comes near this.
constexpr std::int64_t most_table_bytes = std::int64_t{1} << 20;

struct container_format {
    // Where the table lies in a container of `size` bytes whose last bytes
    // (12 of them, or all there are) are `tail`. None: this file keeps no
    // table after all, and is a plain image.
    std::optional<table_span> (*locate)(std::int64_t size, std::string_view tail);
    table_reader read;
    bool holds_tracks;  // its own sectors are in it; otherwise it is only read
};

// The format that the path's ending (any letter case) names: .cue, .toc,
// .nrg, .ccd, .mds or .cdi. None for a plain image.
std::optional<container_format> container_of(std::string_view path);

// The table lies where it says, inside the file and at most a mebibyte.
bool trustworthy(table_span span, std::int64_t size);

// A data file named by a table is looked for beside the container, by its
// name alone (what follows the last '/' or '\'), so that no table can send
// the patch into another folder.
std::string name_alone(std::string_view name);
std::string beside(std::string_view container_path, std::string_view name);
// The container's folder as its path gives it, separator and all; empty
// for the current folder.
std::string folder_of(std::string_view container_path);
