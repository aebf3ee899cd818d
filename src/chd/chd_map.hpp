// A CHD's map: where each hunk's bytes are and how they are coded, from
// the 4-byte entries of an uncompressed file or the Huffman-coded map of a
// compressed one; and the CRC-16 that checks maps and hunks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chd/chd_header.hpp"

// Entry types as the file numbers them: 0-3 name the codec in that header
// slot. The uncompressed map's "not stored" has no number there; it gets 7.
constexpr std::uint8_t hunk_stored = 4;  // hunk_bytes bytes as they are
constexpr std::uint8_t hunk_self = 5;    // the data of another hunk of this file
constexpr std::uint8_t hunk_parent = 6;  // the data of the parent (never read here)
constexpr std::uint8_t hunk_zero = 7;    // uncompressed map only: not stored, reads as zeros

struct map_entry {
    std::uint8_t type = hunk_zero;
    std::uint32_t length = 0;  // compressed bytes in the file; hunk_bytes when stored
    std::uint64_t offset = 0;  // file offset (types 0-4) or hunk number (self)
    std::uint16_t crc = 0;     // of the hunk's decompressed bytes (types 0-4, compressed map)
};

struct chd_map {
    std::vector<map_entry> entries;  // one per hunk
    bool crcs = false;               // whether the entries' CRCs are there to check
};

// CRC-16 (polynomial 0x1021, most significant bit first, from 0xFFFF, no
// final XOR) of `bytes`, continuing from `crc`.
std::uint16_t chd_crc16(std::string_view bytes, std::uint16_t crc = 0xFFFF);

// The 12 bytes each entry expands to for the map's CRC, in hunk order:
// type, length (24 bits), offset (48 bits), CRC. A compressed map's header
// keeps the CRC-16 of them all; its reader and writer both use this.
std::string expanded_map(const std::vector<map_entry>& entries);

// The 16 bytes that open a compressed map: the length of the bit stream
// after them is their first 4 bytes, big-endian.
constexpr std::size_t map_header_size = 16;

// The map of a file of `file_size` bytes with `header`, from `bytes`: the
// hunk count's 4-byte entries for an uncompressed file; for a compressed
// one its 16-byte header and the whole bit stream. None when it does not
// parse: a bit stream that ends early, a CRC that fails, a stored hunk
// past the file's end, a codec slot that is empty, a parent reference, or
// a self reference to itself, to no hunk or to another reference.
std::optional<chd_map> parse_chd_map(std::string_view bytes, const chd_header& header,
                                     std::int64_t file_size);
