// Opening a CHD in the order its parts depend on each other, and reading
// hunks through the map.
#include "chd/chd_image.hpp"

#include <algorithm>

#include "base/byte_reader.hpp"
#include "chd/chd_codecs.hpp"

std::optional<chd_image> chd_image::open(chd_read read, std::int64_t file_size,
                                         const std::string& name) {
    chd_image image;
    image.read_ = std::move(read);
    image.file_size_ = file_size;
    const auto parsed = parse_chd_header(image.read_(0, chd_header_size), file_size);
    if (!parsed || !std::all_of(parsed->codecs.begin(), parsed->codecs.end(),
                                [](std::uint32_t c) { return c == 0 || codec_known(c); })) {
        return std::nullopt;
    }
    const chd_header& h = image.header_ = *parsed;
    auto chain = read_metadata(image.read_, h.metadata_offset, file_size);
    auto disc = chain ? disc_tracks(*chain, h, name) : std::nullopt;
    if (!disc) {
        return std::nullopt;
    }
    image.metadata_ = std::move(*chain);
    image.tracks_ = std::move(*disc);
    // The parse has checked the map offset against the file's size.
    const auto map_at = static_cast<std::int64_t>(h.map_offset);
    const std::int64_t map_room = file_size - map_at;
    std::string map_bytes;
    if (h.compressed()) {
        map_bytes = image.read_(map_at, std::min<std::int64_t>(map_header_size, map_room));
        if (map_bytes.size() == map_header_size) {
            const auto stream = static_cast<std::int64_t>(byte_reader(map_bytes).be(4));
            map_bytes += image.read_(map_at + static_cast<std::int64_t>(map_header_size),
                                     std::min<std::int64_t>(stream, map_room));
        }
    } else {
        map_bytes = image.read_(
            map_at,
            std::min<std::int64_t>(static_cast<std::int64_t>(4 * h.hunk_count()), map_room));
    }
    auto decoded = parse_chd_map(map_bytes, h, file_size);
    if (!decoded) {
        return std::nullopt;
    }
    image.map_ = std::move(*decoded);
    return image;
}

std::optional<std::string> chd_image::stored_bytes(std::uint64_t index) const {
    if (index >= map_.entries.size()) {
        return std::nullopt;
    }
    const map_entry& e = map_.entries[static_cast<std::size_t>(index)];
    if (e.type > hunk_stored) {
        return std::string();
    }
    std::string bytes = read_(static_cast<std::int64_t>(e.offset), e.length);
    return bytes.size() == e.length ? std::optional<std::string>(std::move(bytes)) : std::nullopt;
}

std::optional<std::string> chd_image::hunk(std::uint64_t index) const {
    if (index >= map_.entries.size()) {
        return std::nullopt;
    }
    // The map's parse made sure a reference names a hunk that holds data.
    const map_entry& named = map_.entries[static_cast<std::size_t>(index)];
    const std::uint64_t source = named.type == hunk_self ? named.offset : index;
    const map_entry& e = map_.entries[static_cast<std::size_t>(source)];
    if (e.type == hunk_zero) {
        return std::string(header_.hunk_bytes, '\0');
    }
    auto bytes = stored_bytes(source);
    if (bytes && e.type < hunk_stored) {
        bytes = decode_hunk(header_.codecs[e.type], *bytes, header_.hunk_bytes);
    }
    if (!bytes || (map_.crcs && chd_crc16(*bytes) != e.crc)) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> chd_image::image_bytes(std::int64_t offset, std::int64_t count) const {
    const auto logical = static_cast<std::int64_t>(header_.logical_bytes);
    if (offset < 0 || count < 0 || offset >= logical) {
        return std::string();
    }
    const std::int64_t end = offset + std::min(count, logical - offset);
    const std::int64_t hunk_size = header_.hunk_bytes;
    std::string bytes;
    for (std::int64_t at = offset; at < end;) {
        const auto data = hunk(static_cast<std::uint64_t>(at / hunk_size));
        if (!data) {
            return std::nullopt;
        }
        const std::int64_t within = at % hunk_size;
        const std::int64_t take = std::min(hunk_size - within, end - at);
        bytes.append(*data, static_cast<std::size_t>(within), static_cast<std::size_t>(take));
        at += take;
    }
    return bytes;
}
