#include "containers/alcohol_image.hpp"

#include <array>
#include <string>
#include <vector>

#include "base/byte_reader.hpp"
#include "containers/sheet_text.hpp"

namespace {

constexpr std::size_t header_size = 88;
constexpr std::size_t session_size = 24;
constexpr std::size_t entry_size = 80;
// Far past any disc, and far enough below 2^63 that an offset plus a
// track's length in bytes cannot overflow.
constexpr std::uint64_t most_offset = std::uint64_t{1} << 48;

void append_utf8(std::string& out, std::uint32_t c) {
    const std::size_t tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    constexpr std::array<std::uint32_t, 4> lead{0x00, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(lead.at(tail) | c >> (6 * tail));
    for (std::size_t i = tail; i-- > 0;) {
        out += static_cast<char>(0x80 | (c >> (6 * i) & 0x3F));
    }
}

// Up to a NUL unit; none for a name that runs off the table or holds half
// a surrogate pair, which no file system would have written.
std::optional<std::string> utf16_name(byte_reader r) {
    std::string name;
    for (auto c = static_cast<std::uint32_t>(r.le(2)); c != 0;
         c = static_cast<std::uint32_t>(r.le(2))) {
        if (c >= 0xD800 && c < 0xDC00) {
            const auto low = static_cast<std::uint32_t>(r.le(2));
            if (low < 0xDC00 || low >= 0xE000) {
                return std::nullopt;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        } else if (c >= 0xDC00 && c < 0xE000) {
            return std::nullopt;
        }
        append_utf8(name, c);
    }
    return r.ok() ? std::optional(name) : std::nullopt;
}

// "*.mdf" stands for the descriptor's own name; anything else is a file
// beside it.
std::optional<std::string> data_file(std::string_view table, std::uint64_t block,
                                     std::string_view own_name) {
    byte_reader r(table, block);
    const std::uint64_t at = r.le(4);
    const bool utf16 = r.le(4) == 1;
    if (!r.ok() || at > table.size()) {
        return std::nullopt;
    }
    const auto start = static_cast<std::size_t>(at);
    const std::size_t nul = table.find('\0', start);
    if (!utf16 && nul == std::string_view::npos) {
        return std::nullopt;
    }
    auto name =
        utf16 ? utf16_name(byte_reader(table, at)) : std::string(table.substr(start, nul - start));
    if (!name || name->empty()) {
        return std::nullopt;
    }
    if (name->front() == '*' && same_word(std::string_view(*name).substr(1), ".mdf")) {
        return std::string(own_name.substr(0, own_name.rfind('.'))) + ".mdf";
    }
    return name;
}

struct entry {
    track stored;
    std::uint64_t lba;
};

// One session's tracks, in the order its entries list them.
std::optional<std::vector<entry>> session_tracks(std::string_view table, std::uint64_t first,
                                                 std::uint64_t count, std::string_view own_name,
                                                 int session) {
    std::vector<entry> tracks;
    for (std::uint64_t i = 0; i < count; ++i) {
        byte_reader r(table, first + i * entry_size);
        const std::uint64_t mode = r.le(1);
        r.skip(3);
        const std::uint64_t point = r.le(1);
        r.skip(0x10 - 0x05);
        const auto size = static_cast<std::int32_t>(r.le(2));
        r.skip(0x24 - 0x12);
        const std::uint64_t lba = r.le(4);
        const std::uint64_t offset = r.le(8);
        r.skip(4);
        const std::uint64_t name_block = r.le(4);
        r.skip(entry_size - 0x38);
        const std::uint64_t kind = mode & 0x0F;
        if (!r.ok() || (point > most_tracks && point < 0xA0) || (mode != 0 && point == 0)) {
            return std::nullopt;
        }
        if (mode == 0 || point >= 0xA0) {
            continue;  // the table's own entries: first and last track, lead-out
        }
        const bool data = kind >= 0xA && kind <= 0xC;
        const auto layout = layout_for(size, kind == 0xA);
        const auto file = data_file(table, name_block, own_name);
        if (kind < 0x9 || kind > 0xD || !layout || !file || offset >= most_offset) {
            return std::nullopt;
        }
        const sector_layout stored = data ? *layout : sector_layout{size, 0};
        tracks.push_back(
            {{*file, static_cast<std::int64_t>(offset), -1, stored, data, false, session}, lba});
    }
    return tracks;
}

}  // namespace

std::optional<track_list> read_alcohol(std::string_view table, std::int64_t /*at*/,
                                       std::string_view own_name) {
    byte_reader head(table);
    const bool signature = head.take(16) == "MEDIA DESCRIPTOR";
    const std::uint64_t major = head.le(1);
    head.skip(3);
    const std::uint64_t sessions = head.le(2);
    head.skip(0x50 - 0x16);
    const std::uint64_t first_session = head.le(4);
    head.skip(header_size - 0x54);
    // Version 2 descriptors are encrypted; a disc has no more sessions than tracks.
    if (!head.ok() || !signature || major != 1 || sessions > most_tracks) {
        return std::nullopt;
    }
    track_list tracks;
    for (std::uint64_t s = 0; s < sessions; ++s) {
        byte_reader block(table, first_session + s * session_size);
        block.skip(4);
        const std::uint64_t end = block.le(4);
        block.skip(2);
        const std::uint64_t count = block.le(1);
        block.skip(0x14 - 0x0B);
        const std::uint64_t first_entry = block.le(4);
        const auto listed =
            session_tracks(table, first_entry, count, own_name, static_cast<int>(s) + 1);
        if (!block.ok() || !listed || tracks.size() + listed->size() > most_tracks) {
            return std::nullopt;
        }
        // The end is a signed LBA, and a track ends where the next one or
        // the session's lead-out begins.
        const std::int64_t lead_out =
            static_cast<std::int64_t>(end) - (end >= 0x80000000 ? std::int64_t{1} << 32 : 0);
        for (std::size_t i = 0; i < listed->size(); ++i) {
            const entry& e = (*listed)[i];
            const std::int64_t stop =
                i + 1 < listed->size() ? static_cast<std::int64_t>((*listed)[i + 1].lba) : lead_out;
            const auto lba = static_cast<std::int64_t>(e.lba);
            if (stop < lba) {
                return std::nullopt;
            }
            tracks.push_back(e.stored);
            tracks.back().end = e.stored.offset + (stop - lba) * e.stored.layout.sector_size;
        }
    }
    return tracks.empty() ? std::nullopt : std::optional(tracks);
}
