#include "sector_layout.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <string_view>
#include <vector>

namespace {

constexpr sector_layout mode2_cooked{2336, 8};
constexpr sector_layout iso_logical{2048, 0};
constexpr sector_layout mode2_raw{2352, 24};

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Only the last four bytes of the whole path count, and a shorter path is
// never read before its start.
bool ends_in_nrg(const char* name) {
    constexpr std::string_view suffix = ".nrg";
    const std::size_t length = std::strlen(name);
    if (length < suffix.size()) {
        return false;
    }
    const char* tail = name + (length - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (ascii_lower(tail[i]) != suffix[i]) {
            return false;
        }
    }
    return true;
}

// Every layout the length and name admit, in the order of preference.
std::vector<sector_layout> candidate_layouts(std::int64_t size, const char* name) {
    constexpr std::array<sector_layout, 3> by_preference{mode2_cooked, iso_logical, mode2_raw};
    const bool nrg = ends_in_nrg(name);
    std::vector<sector_layout> candidates;
    std::copy_if(by_preference.begin(), by_preference.end(), std::back_inserter(candidates),
                 [size, nrg](sector_layout layout) {
                     return size % layout.sector_size == 0 || (nrg && layout == mode2_cooked);
                 });
    return candidates;
}

// The standard identifier follows the type byte of the first volume
// descriptor, which sits in logical sector 16.
std::int64_t standard_identifier_offset(sector_layout layout) {
    constexpr std::int64_t descriptor_sector = 16;
    return layout.data_offset + descriptor_sector * layout.sector_size + 1;
}

std::optional<sector_layout> preferred(const std::vector<sector_layout>& candidates) {
    if (candidates.empty()) {
        return std::nullopt;
    }
    return candidates.front();
}

}  // namespace

std::optional<sector_layout> detect_sector_layout(std::int64_t size, const char* name) {
    return preferred(candidate_layouts(size, name));
}

std::optional<sector_layout> settle_sector_layout(
    std::int64_t size, const char* name, const std::function<bool(std::int64_t)>& holds_cd001) {
    const std::vector<sector_layout> candidates = candidate_layouts(size, name);
    if (candidates.size() < 2) {
        return preferred(candidates);
    }
    std::optional<sector_layout> marked;
    for (const sector_layout layout : candidates) {
        if (holds_cd001(standard_identifier_offset(layout))) {
            if (marked) {
                return preferred(candidates);
            }
            marked = layout;
        }
    }
    return marked ? marked : preferred(candidates);
}
