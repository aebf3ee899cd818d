// Decoding one CHD hunk with any codec chdman writes for a CD or a DVD:
// the CD codecs (cdlz, cdzl, cdzs, cdfl, whose frames are 2352 sector
// bytes and 96 subcode bytes coded apart) and the generic ones (zlib,
// lzma, zstd, huff, flac). Audio comes out as the file keeps it: 16-bit
// samples big-endian, the reverse of a cue sheet's BINARY file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "chd/chd_header.hpp"

// A CD codec's hunk opens with a bitmap, a bit for each frame whose sync
// and parity were left out to be made again, then the length of the
// compressed sector part in 2 bytes, or 3 for hunks of 64 KiB or more.
inline std::size_t cd_bitmap_bytes(std::size_t frames) { return (frames + 7) / 8; }
inline std::size_t cd_length_bytes(std::size_t hunk_bytes) { return hunk_bytes < 65536 ? 2 : 3; }

// The codecs (a header slot's four letters) whose hunks decode here.
constexpr std::array<std::uint32_t, 9> known_codecs{fourcc("cdlz"), fourcc("cdzl"), fourcc("cdzs"),
                                                    fourcc("cdfl"), fourcc("zlib"), fourcc("lzma"),
                                                    fourcc("zstd"), fourcc("huff"), fourcc("flac")};
bool codec_known(std::uint32_t codec);

// The `hunk_bytes` bytes that `compressed` holds, coded with `codec`. None
// for an unknown codec or data that does not decode to exactly that many
// bytes. Sectors whose sync and parity the CD codecs dropped get them back.
std::optional<std::string> decode_hunk(std::uint32_t codec, std::string_view compressed,
                                       std::uint32_t hunk_bytes);
