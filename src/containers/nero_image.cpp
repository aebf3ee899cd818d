#include "containers/nero_image.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <numeric>

#include "base/byte_reader.hpp"

namespace {

struct nero_mode {
    std::uint64_t code;
    sector_layout layout;
    bool data;
};

constexpr std::array<nero_mode, 10> modes{{
    {0x00, {2048, 0}, true},
    {0x02, {2048, 0}, true},
    {0x03, {2336, 8}, true},
    {0x05, {2352, 16}, true},
    {0x06, {2352, 24}, true},
    {0x07, {2352, 0}, false},
    {0x08, {2352, 0}, false},
    {0x0F, {2448, 16}, true},
    {0x10, {2448, 0}, false},
    {0x11, {2448, 24}, true},
}};

const nero_mode* mode_of(std::uint64_t code) {
    const auto* mode = std::find_if(modes.begin(), modes.end(),
                                    [code](const nero_mode& m) { return m.code == code; });
    return mode == modes.end() ? nullptr : mode;
}

// A track's sectors lie before the chunk list, at `at`: [offset, end) must.
bool add_track(track_list& tracks, const nero_mode* mode, std::uint64_t offset, std::uint64_t end,
               std::int64_t at, std::string_view own_name) {
    const auto limit = static_cast<std::uint64_t>(at);
    if (mode == nullptr || offset > end || end > limit || tracks.size() == most_tracks) {
        return false;
    }
    tracks.push_back({std::string(own_name), static_cast<std::int64_t>(offset),
                      static_cast<std::int64_t>(end), mode->layout, mode->data, false, 1});
    return true;
}

// Disc-at-once: a head, then per track its ISRC, stored sector size, mode,
// and the byte offsets of index 0, index 1 and its end (4 or 8 bytes each).
bool read_disc_at_once(std::string_view body, std::size_t width, std::int64_t at,
                       std::string_view own_name, track_list& tracks) {
    byte_reader r(body);
    r.skip(4 + 14 + 2);
    const std::uint64_t first = r.be(1);
    const std::uint64_t last = r.be(1);
    for (std::uint64_t i = first; r.ok() && i <= last; ++i) {
        r.skip(12);
        const std::uint64_t size = r.be(2);
        const nero_mode* mode = mode_of(r.be(1));
        r.skip(3);
        const std::uint64_t index0 = r.be(width);
        const std::uint64_t index1 = r.be(width);
        const std::uint64_t end = r.be(width);
        // The stored size must be the one the mode stores, or the sectors
        // would be misread.
        if (!r.ok() || index0 > index1 || mode == nullptr ||
            size != static_cast<std::uint64_t>(mode->layout.sector_size) ||
            !add_track(tracks, mode, index1, end, at, own_name)) {
            return false;
        }
    }
    return r.ok();
}

// Track-at-once: per track its offset, length in bytes, mode and start.
bool read_track_at_once(std::string_view body, std::size_t width, std::int64_t at,
                        std::string_view own_name, track_list& tracks) {
    const std::size_t entry = 3 * width + 8;
    if (body.size() % entry != 0) {
        return false;
    }
    byte_reader r(body);
    while (r.ok() && r.at() < body.size()) {
        const std::uint64_t offset = r.be(width);
        const std::uint64_t length = r.be(width);
        const nero_mode* mode = mode_of(r.be(4));
        r.skip(4 + width);
        const auto limit = static_cast<std::uint64_t>(at);
        if (!r.ok() || length > limit ||
            !add_track(tracks, mode, offset, std::min(offset, limit) + length, at, own_name)) {
            return false;
        }
    }
    return r.ok();
}

}  // namespace

std::optional<table_span> nero_footer(std::int64_t size, std::string_view tail) {
    const bool new_format = tail.size() >= 12 && tail.substr(tail.size() - 12, 4) == "NER5";
    const bool old_format = tail.size() >= 8 && tail.substr(tail.size() - 8, 4) == "NERO";
    if (!new_format && !old_format) {
        return std::nullopt;
    }
    byte_reader r(tail, tail.size() - (new_format ? 8 : 4));
    const std::uint64_t offset = r.be(new_format ? 8 : 4);
    if (offset > static_cast<std::uint64_t>(size)) {
        return table_span{};
    }
    const auto start = static_cast<std::int64_t>(offset);
    return table_span{start, size - start};
}

std::optional<track_list> read_nero_chunks(std::string_view table, std::int64_t at,
                                           std::string_view own_name) {
    track_list tracks;
    std::vector<std::uint64_t> sessions;
    byte_reader r(table);
    for (;;) {
        const std::string_view id = r.take(4);
        const std::string_view body = r.take(r.be(4));
        if (!r.ok()) {
            return std::nullopt;
        }
        if (id == "END!") {
            break;
        }
        const bool read =
            (id != "DAOI" && id != "DAOX" && id != "ETNF" && id != "ETN2") ||
            (id[0] == 'D' ? read_disc_at_once(body, id == "DAOX" ? 8 : 4, at, own_name, tracks)
                          : read_track_at_once(body, id == "ETN2" ? 8 : 4, at, own_name, tracks));
        if (!read) {
            return std::nullopt;
        }
        if (id == "SINF") {
            sessions.push_back(byte_reader(body).be(4));
        }
    }
    // Each session's tracks follow the last's, in the order the list gave them.
    if (!sessions.empty() &&
        std::accumulate(sessions.begin(), sessions.end(), std::uint64_t{0}) != tracks.size()) {
        return std::nullopt;
    }
    std::size_t next = 0;
    for (std::size_t s = 0; s < sessions.size(); ++s) {
        for (std::uint64_t k = 0; k < sessions[s]; ++k) {
            tracks[next++].session = static_cast<int>(s + 1);
        }
    }
    if (tracks.empty()) {
        return std::nullopt;
    }
    return tracks;
}
