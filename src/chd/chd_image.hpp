// A CHD file opened for reading through a byte-reading callback: its
// header, metadata, tracks and map, and any hunk or range of its image
// decoded on demand. Pure over the callback, so that the tool's file I/O
// and the fuzzer drive it alike. Nothing is cached and no member changes
// after open: hunks may be decoded on several threads at once where the
// callback allows it (e.g. pread).
//
// For the track choice, a CHD is one file of header().logical_bytes bytes
// named as open() was told, read through image_bytes(); every CD frame is
// 2448 bytes, so a track's layout is {2448, where its user data is}.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chd/chd_header.hpp"
#include "chd/chd_map.hpp"
#include "chd/chd_metadata.hpp"

class chd_image {
public:
    // The CHD that `read` gives, of `file_size` bytes; its tracks name
    // `name` as their file, and their offsets count in the image's logical
    // bytes. None for anything but a version 5 CD or DVD CHD whose header,
    // metadata, tracks and map parse, and whose codecs are all known.
    static std::optional<chd_image> open(chd_read read, std::int64_t file_size,
                                         const std::string& name);

    [[nodiscard]] const chd_header& header() const { return header_; }
    [[nodiscard]] const std::vector<metadata_entry>& metadata() const { return metadata_; }
    [[nodiscard]] const track_list& tracks() const { return tracks_; }
    [[nodiscard]] const chd_map& map() const { return map_; }

    // Hunk `index` decoded (a self reference through the hunk it names),
    // exactly hunk_bytes bytes, its CRC checked where the map keeps one.
    // None when it cannot be read or does not decode.
    [[nodiscard]] std::optional<std::string> hunk(std::uint64_t index) const;

    // The bytes hunk `index` occupies in the file as stored (compressed or
    // not); empty for a self reference or an unstored hunk.
    [[nodiscard]] std::optional<std::string> stored_bytes(std::uint64_t index) const;

    // `count` logical bytes of the image from `offset`, fewer at its end;
    // none when a hunk they lie in does not decode.
    [[nodiscard]] std::optional<std::string> image_bytes(std::int64_t offset,
                                                         std::int64_t count) const;

private:
    chd_image() = default;
    chd_read read_;
    std::int64_t file_size_ = 0;
    chd_header header_;
    std::vector<metadata_entry> metadata_;
    track_list tracks_;
    chd_map map_;
};
