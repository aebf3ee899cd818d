// Walking the metadata chain with every offset and size checked, and
// laying out a CD's tracks in frames as chdman stores them.
#include "chd/chd_metadata.hpp"

#include <algorithm>
#include <array>
#include <numeric>
#include <set>
#include <string_view>

#include "base/byte_reader.hpp"

namespace {

// A track type: where a sector's user data sits in its frame, what a
// sector stores, and whether it can hold a System Area.
struct cd_type {
    std::string_view name;
    std::int32_t data_offset;
    std::int32_t stored;
    bool data;
};
// In the order of CHCD's type codes.
constexpr std::array<cd_type, 8> cd_types{{{"MODE1", 0, 2048, true},
                                           {"MODE1_RAW", 16, 2352, true},
                                           {"MODE2", 8, 2336, true},
                                           {"MODE2_FORM1", 0, 2048, true},
                                           {"MODE2_FORM2", 0, 2324, false},
                                           {"MODE2_FORM_MIX", 8, 2336, true},
                                           {"MODE2_RAW", 24, 2352, true},
                                           {"AUDIO", 0, 2352, false}}};
constexpr std::array<std::string_view, 3> subtypes{"RW", "RW_RAW", "NONE"};
constexpr std::size_t no_subcode = 2;
constexpr std::uint64_t most_frames = 1 << 24;  // far more than any CD

// One track as the metadata gives it, before it is placed.
struct cd_track {
    std::size_t type = 0;
    std::size_t subtype = 0;
    std::uint64_t frames = 0;         // stored, pregap included
    std::uint64_t stored_pregap = 0;  // frames before index 1
    std::uint64_t padding = 0;        // zero frames after it
};

std::string_view name_of(const cd_type& t) { return t.name; }
std::string_view name_of(std::string_view name) { return name; }

template <typename Names>
std::optional<std::size_t> index_of(const Names& names, std::string_view name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (name_of(names[i]) == name) {
            return i;
        }
    }
    return std::nullopt;
}

// A count of at most nine digits; `bad` for anything else.
constexpr std::uint64_t bad = ~std::uint64_t{0};
std::uint64_t number(std::string_view digits) {
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return bad;
    }
    return std::accumulate(digits.begin(), digits.end(), std::uint64_t{0},
                           [](std::uint64_t value, char c) {
                               return value * 10 + static_cast<std::uint64_t>(c - '0');
                           });
}

// The value of `NAME:value` in a text entry's space-separated fields.
std::optional<std::string_view> field(std::string_view text, std::string_view name) {
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        if (word.size() > name.size() && word.substr(0, name.size()) == name &&
            word[name.size()] == ':') {
            return word.substr(name.size() + 1);
        }
        text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
    }
    return std::nullopt;
}

// A CHT2 or CHTR entry: its track number and the track.
std::optional<std::pair<std::uint64_t, cd_track>> text_track(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const auto type = index_of(cd_types, field(text, "TYPE").value_or(""));
    const auto subtype = index_of(subtypes, field(text, "SUBTYPE").value_or(""));
    const std::uint64_t track_number = number(field(text, "TRACK").value_or(""));
    const std::uint64_t frames = number(field(text, "FRAMES").value_or(""));
    const std::uint64_t pregap = number(field(text, "PREGAP").value_or("0"));
    if (!type || !subtype || track_number == bad || frames == bad || pregap == bad) {
        return std::nullopt;
    }
    cd_track t{*type, *subtype, frames, 0, (4 - frames % 4) % 4};
    t.stored_pregap = field(text, "PGTYPE").value_or("").substr(0, 1) == "V" ? pregap : 0;
    return std::make_pair(track_number, t);
}

std::optional<std::vector<cd_track>> text_tracks(const std::vector<const metadata_entry*>& found) {
    std::vector<std::pair<std::uint64_t, cd_track>> numbered;
    for (const metadata_entry* e : found) {
        const auto t = text_track(e->data);
        if (!t) {
            return std::nullopt;
        }
        numbered.push_back(*t);
    }
    std::sort(numbered.begin(), numbered.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<cd_track> tracks;
    for (const auto& [n, t] : numbered) {
        if (n != tracks.size() + 1) {
            return std::nullopt;
        }
        tracks.push_back(t);
    }
    return tracks;
}

// CHCD: a count and 99 six-word records, in the writer's byte order.
std::optional<std::vector<cd_track>> binary_tracks(std::string_view data) {
    constexpr std::size_t words = 6;
    bool big = byte_reader(data).be(4) <= most_tracks;
    byte_reader table(data);
    const std::uint64_t count = big ? table.be(4) : table.le(4);
    if (!table.ok() || count > most_tracks) {
        return std::nullopt;
    }
    std::vector<cd_track> tracks;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::array<std::uint64_t, words> w{};
        std::generate(w.begin(), w.end(), [&] { return big ? table.be(4) : table.le(4); });
        if (!table.ok() || w[0] >= cd_types.size() || w[1] >= subtypes.size()) {
            return std::nullopt;
        }
        // Both indexes were checked against their tables just above.
        tracks.push_back(
            {static_cast<std::size_t>(w[0]), static_cast<std::size_t>(w[1]), w[4], 0, w[5]});
    }
    return tracks;
}

std::optional<track_list> place(const std::vector<cd_track>& tracks, const chd_header& h,
                                const std::string& file) {
    track_list list;
    std::uint64_t first = 0;
    for (const cd_track& t : tracks) {
        if (t.frames > most_frames || t.padding > most_frames || t.stored_pregap > t.frames) {
            return std::nullopt;
        }
        const cd_type& type = cd_types[t.type];
        track placed;
        placed.file = file;
        placed.offset = static_cast<std::int64_t>((first + t.stored_pregap) * cd_frame_bytes);
        placed.end = static_cast<std::int64_t>((first + t.frames) * cd_frame_bytes);
        placed.layout = {static_cast<std::int32_t>(cd_frame_bytes), type.data_offset};
        placed.data = type.data;
        placed.shown_size =
            type.stored +
            (t.subtype == no_subcode ? 0 : static_cast<std::int32_t>(cd_subcode_bytes));
        if (static_cast<std::uint64_t>(placed.end) > h.logical_bytes) {
            return std::nullopt;
        }
        list.push_back(placed);
        first += t.frames + t.padding;
    }
    return list;
}

std::vector<const metadata_entry*> tagged(const std::vector<metadata_entry>& entries,
                                          std::uint32_t tag) {
    std::vector<const metadata_entry*> found;
    for (const metadata_entry& e : entries) {
        if (e.tag == tag) {
            found.push_back(&e);
        }
    }
    return found;
}

}  // namespace

std::optional<std::vector<metadata_entry>> read_metadata(const chd_read& read, std::uint64_t first,
                                                         std::int64_t file_size) {
    const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(file_size, 0));
    std::vector<metadata_entry> entries;
    std::set<std::uint64_t> seen;
    std::uint64_t total = 0;
    for (std::uint64_t at = first; at != 0;) {
        if (entries.size() == most_metadata_entries || !seen.insert(at).second || at > size ||
            size - at < metadata_header_size) {
            return std::nullopt;
        }
        const std::string head = read(static_cast<std::int64_t>(at), metadata_header_size);
        byte_reader fields(head);
        metadata_entry e;
        e.tag = static_cast<std::uint32_t>(fields.be(4));
        e.flags = static_cast<std::uint8_t>(fields.be(1));
        const std::uint64_t length = fields.be(3);
        const std::uint64_t next = fields.be(8);
        total += length;
        if (!fields.ok() || total > most_metadata_bytes ||
            size - at - metadata_header_size < length) {
            return std::nullopt;
        }
        e.data = read(static_cast<std::int64_t>(at + metadata_header_size),
                      static_cast<std::int64_t>(length));
        if (e.data.size() != length) {
            return std::nullopt;
        }
        e.offset = at;
        entries.push_back(std::move(e));
        at = next;
    }
    return entries;
}

std::optional<track_list> disc_tracks(const std::vector<metadata_entry>& entries,
                                      const chd_header& header, const std::string& file) {
    std::optional<std::vector<cd_track>> tracks;
    auto found = tagged(entries, fourcc("CHT2"));
    found = found.empty() ? tagged(entries, fourcc("CHTR")) : found;
    if (!found.empty()) {
        tracks = text_tracks(found);
    } else if (found = tagged(entries, fourcc("CHCD")); found.size() == 1) {
        tracks = binary_tracks(found[0]->data);
    } else if (!tagged(entries, fourcc("DVD ")).empty() && header.unit_bytes == dvd_unit_bytes) {
        track dvd;
        dvd.file = file;
        dvd.end = static_cast<std::int64_t>(header.logical_bytes);
        dvd.layout = {static_cast<std::int32_t>(dvd_unit_bytes), 0};
        dvd.data = true;
        dvd.shown_size = dvd.layout.sector_size;
        return track_list{dvd};
    }
    if (!tracks || tracks->empty() || tracks->size() > most_tracks ||
        header.unit_bytes != cd_frame_bytes) {
        return std::nullopt;
    }
    return place(*tracks, header, file);
}
