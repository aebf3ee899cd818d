// A patched hunk, encoded again for the map: with one of the file's own
// codecs where that is smaller, else stored as it is.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

struct encoded_hunk {
    std::uint8_t type;  // 0-3: the codec slot; 4: stored
    std::string bytes;  // what the file holds for it
    std::uint16_t crc;  // CRC-16 of the decoded hunk
};

// The smallest of: stored, and the deflate-based codec the file lists among
// its `codecs` (the header's slots) for its kind of data ("cdzl" for CD
// frames of 2448 bytes, "zlib" otherwise).
// Only deflate: its decoders take a stream that ends where it says, and it
// is the one codec every writer of these files offers for both kinds.
encoded_hunk encode_hunk(std::string_view hunk, const std::array<std::uint32_t, 4>& codecs,
                         bool cd);

// The CD codec's form: per frame, sector part and subcode part compressed
// apart, sync and parity left out of the frames that a reader can make them
// again for (flagged in a bitmap). Empty if the result cannot be expressed.
std::string encode_cdzl(std::string_view hunk);

// Raw deflate of the whole hunk; empty on failure.
std::string deflate_raw(std::string_view bytes);
