// The map of a CHD, written: the Huffman-coded form a file with codecs
// keeps after its last hunk, and the 4-byte form of a file without.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chd/chd_map.hpp"

// The compressed map, header and bit stream. The stored hunks must lie
// back to back in hunk order: this form keeps only their lengths.
std::string compressed_map(const std::vector<map_entry>& entries);

// The 4-byte form: each stored hunk's offset in units of `hunk_bytes`,
// 0 for a hunk the file does not hold.
std::string uncompressed_map(const std::vector<map_entry>& entries, std::uint32_t hunk_bytes);
