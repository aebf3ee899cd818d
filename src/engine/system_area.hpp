// Where an image argument keeps its System Area: the file, the byte and
// the layout of its first 16 sectors, found the one way that both the
// patch and the extraction use.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/storage.hpp"
#include "sectors/sector_layout.hpp"

struct system_area {
    std::string refusal;                // the line that refuses the image; empty once found
    std::string path;                   // the file that holds the sectors, as messages name it
    std::unique_ptr<stored_file> file;  // that file, opened as asked
    std::int64_t file_size = -1;
    std::int64_t offset = 0;  // where its sector 0 is stored
    sector_layout layout{0, 0};
    std::int32_t shown_size = 0;  // what "sector size" says where not layout.sector_size
    // A CHD: `offset` counts in its decoded bytes, `block` holds them, and
    // the patch rewrites the whole file (chd_patch.hpp).
    bool chd = false;
    // The first 16 stored sectors from `offset`, as read; fewer bytes
    // where a plain image ends sooner.
    std::string block;
};

// A file that opens with the CHD signature is a CHD whatever its name: it
// is opened as `how` says but only read here, and its tracks are chosen as
// a container's are. A plain image is laid out by its length, name and
// probes; a container's table names the files and the track (see
// track_choice.hpp). Containers and sheets are only ever read; the file
// that holds the sectors is opened as `how` says, and a file of a
// container's data track must be a regular file beside it that can be
// opened so. Its sectors are read, and nothing else is read than what
// decides where they are.
system_area find_system_area(storage& files, const std::string& image_path, file_access how);

// The line that says the layout found: "sector size:N", N its stored size.
std::string sector_size_line(const system_area& area);
