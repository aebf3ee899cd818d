// The 124-byte header that opens a CHD (version 5) file: what it says, the
// bounds a disc image keeps to, and its bytes again for a rewritten file.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

constexpr std::size_t chd_header_size = 124;
constexpr std::uint32_t cd_frame_bytes = 2448;  // a CD unit: 2352 sector bytes, 96 subcode bytes
constexpr std::size_t cd_sector_bytes = 2352;
constexpr std::size_t cd_subcode_bytes = cd_frame_bytes - cd_sector_bytes;
constexpr std::uint32_t dvd_unit_bytes = 2048;
constexpr std::uint32_t most_hunk_bytes = 1 << 20;  // far above what chdman makes (97920 tried)
constexpr std::uint64_t most_hunks = 1 << 22;       // a dual-layer DVD in 2048-byte hunks

// The bytes of the CHD file from `offset`: `count` of them, fewer at its
// end or where it cannot be read. Offsets and counts are never negative.
using chd_read = std::function<std::string(std::int64_t offset, std::int64_t count)>;

using chd_sha1 = std::array<std::uint8_t, 20>;

// Four ASCII letters (exactly four) as the file stores them, e.g. "cdlz"; 0 = none.
constexpr std::uint32_t fourcc(std::string_view tag) {
    const auto letter = [tag](std::size_t i, int shift) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(tag[i])) << shift;
    };
    return letter(0, 24) | letter(1, 16) | letter(2, 8) | letter(3, 0);
}

struct chd_header {
    std::array<std::uint32_t, 4> codecs{};  // a map entry of type k names codecs[k]
    std::uint64_t logical_bytes = 0;        // the image's size, uncompressed
    std::uint64_t map_offset = 0;
    std::uint64_t metadata_offset = 0;  // 0: no metadata
    std::uint32_t hunk_bytes = 0;
    std::uint32_t unit_bytes = 0;
    chd_sha1 raw_sha1{};     // of the logical bytes
    chd_sha1 sha1{};         // of raw_sha1 and the checksummed metadata
    chd_sha1 parent_sha1{};  // all zero: no parent (the only kind read here)

    // Slot 0 set: hunks are compressed and the map is Huffman coded.
    [[nodiscard]] bool compressed() const { return codecs[0] != 0; }
    [[nodiscard]] std::uint64_t hunk_count() const {
        return logical_bytes / hunk_bytes + (logical_bytes % hunk_bytes != 0 ? 1 : 0);
    }
};

// Whether a file opening with `first_bytes` is a CHD, whatever its version.
bool is_chd(std::string_view first_bytes);

// The header of a file of `file_size` bytes opening with `bytes` (at least
// its first 124). None for any version but 5, a child CHD (one naming a
// parent), and a damaged header: hunks that are not whole units, a CD
// whose hunks are not whole frames, offsets past the file, a hunk size or
// count beyond the caps above.
std::optional<chd_header> parse_chd_header(std::string_view bytes, std::int64_t file_size);

// The 124 bytes that `header` is.
std::string chd_header_bytes(const chd_header& header);

// Writes `value` as `width` big-endian bytes at `at` in `bytes`.
void put_big_endian(std::string& bytes, std::size_t at, std::size_t width, std::uint64_t value);

// `value` as `width` big-endian bytes.
std::string big_endian(std::uint64_t value, std::size_t width);
