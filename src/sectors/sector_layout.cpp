#include "sectors/sector_layout.hpp"

#include <algorithm>
#include <array>
#include <iterator>
#include <vector>

#include "base/ascii_words.hpp"

namespace {

constexpr sector_layout mode2_cooked{2336, 8};
constexpr sector_layout iso_logical{2048, 0};
constexpr sector_layout mode2_raw{2352, 24};
constexpr sector_layout mode1_raw{2352, 16};

bool synced(std::string_view bytes, std::size_t at) {
    return bytes.size() >= at + sync_pattern.size() &&
           bytes.substr(at, sync_pattern.size()) == sync_pattern;
}

sector_layout raw_layout(std::string_view first_bytes) {
    return raw_mode1(first_bytes) ? mode1_raw : mode2_raw;
}

std::vector<sector_layout> candidate_layouts(std::int64_t size, const char* name,
                                             std::string_view first_bytes) {
    const std::array<sector_layout, 3> by_preference{mode2_cooked, iso_logical,
                                                     raw_layout(first_bytes)};
    // Only the last four bytes of the whole path count.
    const bool nrg = ends_with_word(name, ".nrg");
    std::vector<sector_layout> candidates;
    std::copy_if(
        by_preference.begin(), by_preference.end(), std::back_inserter(candidates),
        [size, nrg](sector_layout layout) { return nrg || size % layout.sector_size == 0; });
    return candidates;
}

// The standard identifier follows the type byte of the first volume
// descriptor, which sits in logical sector 16.
std::int64_t standard_identifier_offset(sector_layout layout) {
    constexpr std::int64_t descriptor_sector = 16;
    return layout.data_offset + descriptor_sector * layout.sector_size + 1;
}

}  // namespace

bool raw_mode1(std::string_view first_bytes) {
    constexpr std::size_t mode = 15;
    return synced(first_bytes, 0) && first_bytes.size() > mode && first_bytes[mode] == 1;
}

std::optional<sector_layout> layout_for(std::int32_t size, bool mode1) {
    switch (size) {
        case 2048:
            return iso_logical;
        case 2336:
            return mode1 ? std::nullopt : std::optional(mode2_cooked);
        case 2352:
        case 2368:
        case 2448:
            return sector_layout{size, (mode1 ? mode1_raw : mode2_raw).data_offset};
        default:
            return std::nullopt;
    }
}

std::optional<sector_layout> detect_sector_layout(
    std::int64_t size, const char* name, std::string_view first_bytes,
    const std::function<bool(std::int64_t)>& holds_cd001) {
    constexpr std::int32_t with_subchannel = 2448;
    if (size % with_subchannel == 0 && synced(first_bytes, 0) &&
        synced(first_bytes, with_subchannel)) {
        return layout_for(with_subchannel, raw_mode1(first_bytes));
    }
    const std::vector<sector_layout> candidates = candidate_layouts(size, name, first_bytes);
    if (candidates.empty()) {
        return std::nullopt;
    }
    std::optional<sector_layout> marked;
    for (const sector_layout layout : candidates) {
        if (candidates.size() > 1 && holds_cd001(standard_identifier_offset(layout))) {
            if (marked) {
                return candidates.front();
            }
            marked = layout;
        }
    }
    return marked.value_or(candidates.front());
}
