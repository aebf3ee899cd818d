// How a CD image stores its sectors, decided from its length, its name and
// what it holds where each candidate layout puts its first sectors.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

// The 12 bytes that open every raw sector.
constexpr std::string_view sync_pattern("\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0", 12);

struct sector_layout {
    std::int32_t sector_size;  // bytes one stored sector occupies in the file
    std::int32_t data_offset;  // where its 2048 bytes of user data begin
};

inline bool operator==(sector_layout a, sector_layout b) {
    return a.sector_size == b.sector_size && a.data_offset == b.data_offset;
}

// Raw Mode 1 keeps its user data at byte 16 of a 2352-byte sector, right
// after sync and header; every other layout is Mode 2 or has no framing.
inline bool is_mode1(sector_layout layout) { return layout.data_offset == 16; }

// The bytes at the start of each stored sector that form the CD sector with
// its EDC/ECC: none in a plain 2048-byte sector, 2336 without sync and
// header, 2352 raw. What follows them (subchannel) is never the patch's.
inline std::int32_t framed_size(sector_layout layout) {
    constexpr std::int32_t cooked = 2336;
    constexpr std::int32_t raw = 2352;
    return layout.data_offset == 0 ? 0 : layout.data_offset == 8 ? cooked : raw;
}

// The layout of a stored sector of `size` bytes whose data is Mode 1 when
// `mode1`, else Mode 2 Form 1: 2048 (user data alone), 2336 (Mode 2 without
// sync and header) or raw 2352 with 16 (Q) or 96 (P-W) subchannel bytes
// after it. None for any other size.
std::optional<sector_layout> layout_for(std::int32_t size, bool mode1);

// Whether a raw sector opening with `first_bytes` is Mode 1: the sync
// pattern, then mode byte 1.
bool raw_mode1(std::string_view first_bytes);

// The candidates, in order of preference: a length that is a multiple of
// 2336, a name ending in ".nrg" (any letter case), a multiple of 2048, a
// multiple of 2352. A 2352-byte image whose first sector (`first_bytes`,
// its first 2464 bytes or what there is) opens with the sync pattern and
// mode byte 1 is raw Mode 1, any other Mode 2. A length that is a multiple
// of 2448 with the sync pattern at bytes 0 and 2448 is raw with subchannel,
// and nothing else: that evidence outranks every length.
//
// Where several fit, the image itself decides: the order alone would lay a
// 2048-byte ISO of 73*k sectors out as 2336 and patch over its volume
// descriptor. `holds_cd001(offset)` tells whether the file holds "CD001"
// at that byte; when exactly one candidate has it at logical sector 16,
// that candidate wins, otherwise the order does. A ".nrg" image keeps
// chunks of its own after the sectors, so its length says nothing: every
// layout is a candidate. None when nothing fits.
std::optional<sector_layout> detect_sector_layout(
    std::int64_t size, const char* name, std::string_view first_bytes,
    const std::function<bool(std::int64_t)>& holds_cd001);
