#include "sectors/block_patch.hpp"

#include <algorithm>

#include "sectors/sector_codes.hpp"

namespace {

constexpr std::int64_t chunk_size = 2048;
constexpr std::int64_t chunk_count = ip_size / chunk_size;

std::size_t at(std::int64_t offset) { return static_cast<std::size_t>(offset); }

// A stored sector's framed part sits at the end of the raw one: a 2336-byte
// sector lacks only sync and header.
std::size_t raw_lead(sector_layout layout) { return raw_sector{}.size() - at(framed_size(layout)); }

raw_sector as_raw(const std::string& block, std::int64_t start, sector_layout layout) {
    raw_sector raw{};
    const auto first = block.begin() + static_cast<std::ptrdiff_t>(start);
    std::transform(first, first + static_cast<std::ptrdiff_t>(framed_size(layout)),
                   raw.begin() + raw_lead(layout),
                   [](char c) { return static_cast<std::uint8_t>(c); });
    return raw;
}

}  // namespace

std::int64_t block_length(sector_layout layout, std::int64_t image_size) {
    return std::min(chunk_count * layout.sector_size, image_size);
}

std::string patch_block(std::string block, sector_layout layout, std::string_view ip) {
    const auto whole = static_cast<std::int64_t>(block.size());
    const std::int64_t end =
        layout.data_offset + (chunk_count - 1) * layout.sector_size + chunk_size;
    block.resize(std::max(block.size(), at(end)), '\0');
    const bool framed = framed_size(layout) > 0;
    for (std::int64_t i = 0; i < chunk_count; ++i) {
        const std::int64_t start = i * layout.sector_size;
        // Codes that did not match before (none at all, or noise) are not
        // the patch's to invent; nor are those of sectors it adds.
        const bool live = framed && start + layout.sector_size <= whole &&
                          codes_match(as_raw(block, start, layout), is_mode1(layout));
        block.replace(at(start + layout.data_offset), at(chunk_size),
                      ip.substr(at(i * chunk_size), at(chunk_size)));
        if (live) {
            raw_sector raw = as_raw(block, start, layout);
            write_codes(raw, is_mode1(layout));
            std::transform(raw.begin() + raw_lead(layout), raw.end(),
                           block.begin() + static_cast<std::ptrdiff_t>(start),
                           [](std::uint8_t b) { return static_cast<char>(b); });
        }
    }
    return block;
}

std::string user_data(std::string_view block, sector_layout layout) {
    std::string ip;
    for (std::int64_t i = 0; i < chunk_count; ++i) {
        ip += block.substr(at(i * layout.sector_size + layout.data_offset), at(chunk_size));
    }
    return ip;
}
