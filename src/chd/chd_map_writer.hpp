// The map of a CHD, written: the Huffman-coded form a file with codecs
// keeps after its last hunk, and the 4-byte form of a file without.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One hunk's expanded entry. Types 0-3: compressed with the codec of that
// slot; 4: stored whole; 5: the same data as hunk `offset`; 6: from the
// parent, at unit `offset`. For 0-4 `offset` is where in the file.
struct map_entry {
    std::uint8_t type;
    std::uint32_t length;  // bytes in the file, for types 0-4
    std::uint64_t offset;
    std::uint16_t crc;  // CRC-16 of the decoded hunk, for types 0-4
};

constexpr std::uint8_t map_stored = 4;
constexpr std::uint8_t map_self = 5;
constexpr std::uint8_t map_parent = 6;

// The 12 bytes per hunk the map's CRC covers.
std::string expanded_map(const std::vector<map_entry>& entries);

// The compressed map, header and bit stream, for hunks of `hunk_bytes`
// made of units of `unit_bytes`. The stored hunks must lie back to back
// in hunk order: this form keeps only their lengths.
std::string compressed_map(const std::vector<map_entry>& entries, std::uint32_t hunk_bytes,
                           std::uint32_t unit_bytes);

// The 4-byte form: each stored hunk's offset in units of `hunk_bytes`,
// 0 for a hunk the file does not hold.
std::string uncompressed_map(const std::vector<map_entry>& entries, std::uint32_t hunk_bytes);
