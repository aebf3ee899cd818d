#include "containers/discjuggler_image.hpp"

#include <array>
#include <string>

#include "base/byte_reader.hpp"

namespace {

constexpr std::uint64_t version_2_0 = 0x80000004;
constexpr std::uint64_t version_3_0 = 0x80000005;
constexpr std::uint64_t version_3_5 = 0x80000006;
constexpr std::size_t footer_size = 8;
constexpr std::string_view mark("\0\0\x01\0\0\0\xFF\xFF\xFF\xFF", 10);
constexpr std::array<std::int32_t, 5> sector_sizes{2048, 2336, 2352, 2368, 2448};

struct stored_track {
    std::uint64_t mode;
    std::uint64_t pregap;
    std::uint64_t length;
    std::uint64_t total;
    std::int32_t sector_size;
};

// A track block, which says nothing of where it is stored: only its
// sectors and their size, which the caller adds up from byte 0.
std::optional<stored_track> track_block(byte_reader& r, bool since_3_0) {
    if (r.le(4) != 0) {
        r.skip(8);
    }
    const bool marked = r.take(mark.size()) == mark && r.take(mark.size()) == mark;
    r.skip(4);
    r.skip(r.le(1) + 11 + 8);  // name, zeros, then 2 and 0
    if (r.le(4) == 0x80000000) {
        r.skip(8);
    }
    const std::uint64_t indexes = r.le(2);
    const std::uint64_t pregap = r.le(4);
    const std::uint64_t length = r.le(4);
    r.skip((indexes < 2 ? 0 : indexes - 2) * 4);
    for (std::uint64_t cd_text = r.le(4); cd_text > 0 && r.ok(); --cd_text) {
        for (int field = 0; field < 18; ++field) {
            r.skip(r.le(1));
        }
    }
    r.skip(2);
    const std::uint64_t mode = r.le(4);
    r.skip(4 + 4 + 4 + 4);  // session and track index, start
    const std::uint64_t total = r.le(4);
    r.skip(16);
    const std::uint64_t size_code = r.le(4);
    r.skip(4 + 1 + 4 + 4 + 12 + 4);  // control, total again, ISRC
    if (since_3_0) {
        r.skip(5);
        if (r.le(4) == 0xFFFFFFFF) {
            r.skip(78);
        }
    }
    if (!r.ok() || !marked || indexes < 2 || mode > 2 || size_code >= sector_sizes.size() ||
        total < pregap + length) {
        return std::nullopt;
    }
    return stored_track{mode, pregap, length, total,
                        sector_sizes.at(static_cast<std::size_t>(size_code))};
}

// Each track stores its pregap and then its own sectors, right after the
// track before it.
std::optional<track> placed(const stored_track& b, std::int64_t& stored) {
    const bool data = b.mode != 0;
    const auto layout = layout_for(b.sector_size, b.mode == 1);
    if (data && !layout) {
        return std::nullopt;
    }
    const std::int64_t size = b.sector_size;
    track t;
    t.offset = stored + static_cast<std::int64_t>(b.pregap) * size;
    t.end = t.offset + static_cast<std::int64_t>(b.length) * size;
    t.layout = data ? *layout : sector_layout{b.sector_size, 0};
    t.data = data;
    stored += static_cast<std::int64_t>(b.total) * size;
    return t;
}

}  // namespace

std::optional<track_list> read_discjuggler(std::string_view table, std::int64_t at,
                                           std::string_view own_name) {
    if (table.size() < footer_size) {
        return std::nullopt;
    }
    const std::uint64_t version = byte_reader(table, table.size() - footer_size).le(4);
    if (version != version_2_0 && version != version_3_0 && version != version_3_5) {
        return std::nullopt;
    }
    byte_reader r(table.substr(0, table.size() - footer_size));
    track_list tracks;
    std::int64_t stored = 0;  // bytes of the tracks before, from the file's start
    const std::uint64_t sessions = r.le(2);
    for (std::uint64_t s = 0; s < sessions && r.ok(); ++s) {
        const std::uint64_t count = r.le(2);
        // Every session holds a track; only the one after the count is empty.
        if (count == 0 || tracks.size() + count > most_tracks) {
            return std::nullopt;
        }
        for (std::uint64_t i = 0; i < count; ++i) {
            const auto block = track_block(r, version != version_2_0);
            auto t = block ? placed(*block, stored) : std::nullopt;
            // The sectors all come before the descriptor.
            if (!t || t->end > at) {
                return std::nullopt;
            }
            t->file = own_name;
            t->session = static_cast<int>(s) + 1;
            tracks.push_back(*t);
        }
        r.skip(version == version_2_0 ? 12 : 13);
    }
    return r.ok() && !tracks.empty() ? std::optional(tracks) : std::nullopt;
}

std::optional<table_span> discjuggler_footer(std::int64_t size, std::string_view tail) {
    constexpr std::size_t tail_size = 12;
    if (tail.size() < tail_size || size < static_cast<std::int64_t>(tail_size)) {
        return table_span{};
    }
    byte_reader r(tail, tail.size() - footer_size);
    const std::uint64_t version = r.le(4);
    const auto x = static_cast<std::int64_t>(r.le(4));
    // 3.5 counts back from the end, footer included; the older ones from the start.
    const std::int64_t start = version == version_3_5                             ? size - x
                               : version == version_2_0 || version == version_3_0 ? x
                                                                                  : -1;
    if (start < 0 || start > size - static_cast<std::int64_t>(footer_size)) {
        return table_span{};
    }
    return table_span{start, size - start};
}
