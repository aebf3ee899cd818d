// How a CD image stores its sectors, decided from its length, its name and
// what it holds where each candidate layout puts its first sectors.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

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

// The candidates, in order of preference: a length that is a multiple of
// 2336, a name ending in ".nrg" (any letter case), a multiple of 2048, a
// multiple of 2352. A 2352-byte image whose first sector (`first_bytes`,
// its first 16 bytes or what there is) opens with the sync pattern and mode
// byte 1 is raw Mode 1, any other Mode 2.
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
