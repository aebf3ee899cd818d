// A CHD's metadata chain, entry by entry as stored, and the disc it
// describes: the CD's tracks (CHT2, CHTR or CHCD entries) or a DVD, as the
// track list every container yields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chd/chd_header.hpp"
#include "containers/track.hpp"

struct metadata_entry {
    std::uint32_t tag = 0;     // four ASCII letters, e.g. fourcc("CHT2")
    std::uint8_t flags = 0;    // bit 0 set: hashed into the overall SHA1
    std::string data;          // text entries end with their NUL
    std::uint64_t offset = 0;  // where its 16-byte entry header is in the file
};

constexpr std::uint8_t metadata_checksummed = 0x01;
constexpr std::size_t metadata_header_size = 16;
constexpr std::size_t most_metadata_entries = 256;
constexpr std::uint64_t most_metadata_bytes = 1 << 20;  // all entries' data together

// The chain from `first` (0: none) in a file of `file_size` bytes, in
// chain order. None when an entry lies past the file, the chain loops, or
// it exceeds the caps above.
std::optional<std::vector<metadata_entry>> read_metadata(const chd_read& read, std::uint64_t first,
                                                         std::int64_t file_size);

// The tracks of the disc that `entries` describe, each named `file`, with
// offsets in the image's logical bytes (`header`): for a CD, offset is
// where the track's index 1 frame starts, end where its last frame ends,
// layout {2448, where its user data is in a frame}, shown_size what a
// sector of it stores (2048, 2336 or 2352, 96 more with subcode); a DVD is
// one track of {2048, 0} from byte 0. None for a disc of any other kind,
// units that do not match it, or tracks that do not parse or fit.
std::optional<track_list> disc_tracks(const std::vector<metadata_entry>& entries,
                                      const chd_header& header, const std::string& file);
