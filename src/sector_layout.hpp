// How a CD image stores its sectors, decided from its length and name.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

struct sector_layout {
    std::int32_t sector_size;  // bytes one stored sector occupies in the file
    std::int32_t data_offset;  // where its 2048 bytes of user data begin
};

inline bool operator==(sector_layout a, sector_layout b) {
    return a.sector_size == b.sector_size && a.data_offset == b.data_offset;
}

// The layout that length and name alone point to, tried in this order:
// a multiple of 2336, a name ending in ".nrg" (any letter case), a multiple
// of 2048, a multiple of 2352. None when nothing fits.
std::optional<sector_layout> detect_sector_layout(std::int64_t size, const char* name);

// detect_sector_layout, checked against the image itself where the length
// and name fit more than one layout: the order above would otherwise lay a
// 2048-byte ISO of 73*k sectors out as 2336 and patch over its volume
// descriptor. `holds_cd001(offset)` tells whether the file holds "CD001"
// at that byte; when exactly one candidate has it at logical sector 16,
// that candidate wins, otherwise detect_sector_layout's answer stands.
std::optional<sector_layout> settle_sector_layout(
    std::int64_t size, const char* name, const std::function<bool(std::int64_t)>& holds_cd001);
