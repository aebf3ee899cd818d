#include "chd/chd_rewrite.hpp"

#include <algorithm>
#include <iterator>
#include <optional>

namespace {

void append(std::vector<file_piece>& pieces, std::string bytes) {
    pieces.push_back({std::move(bytes), 0, 0});
}

// Runs of the old file that follow each other become one copy.
void append_copy(std::vector<file_piece>& pieces, std::uint64_t from, std::uint64_t length) {
    if (length == 0) {
        return;
    }
    if (!pieces.empty() && pieces.back().bytes.empty() &&
        pieces.back().from + pieces.back().length == from) {
        pieces.back().length += length;
        return;
    }
    pieces.push_back({{}, from, length});
}

std::uint32_t stored_length(const map_entry& entry, std::uint32_t hunk_bytes) {
    return entry.type == hunk_stored ? hunk_bytes : entry.length;
}

// An entry as the file keeps it, pointing at `next` (0: the last).
std::string entry_bytes(const metadata_entry& entry, std::uint64_t next) {
    return big_endian(entry.tag, 4) + static_cast<char>(entry.flags) +
           big_endian(entry.data.size(), 3) + big_endian(next, 8) + entry.data;
}

std::string header_bytes(chd_header header, const chd_sha1& raw, std::uint64_t map_offset,
                         const std::vector<metadata_entry>& metadata) {
    header.map_offset = map_offset;
    header.metadata_offset = metadata.empty() ? 0 : chd_header_size;
    header.raw_sha1 = raw;
    header.sha1 = overall_sha1(raw, metadata);
    return chd_header_bytes(header);
}

// The hunks that copy a patched one: the first keeps its old bytes, the
// others name the first.
std::map<std::uint64_t, std::uint64_t> keepers(const chd_rewrite_input& input,
                                               std::vector<map_entry>& entries) {
    std::map<std::uint64_t, std::uint64_t> kept;  // keeper -> the patched hunk it keeps
    for (const auto& patch : input.patched) {
        const auto hunk = static_cast<std::size_t>(patch.first);  // a hunk of the map
        if (input.entries[hunk].type > hunk_stored) {
            continue;
        }
        std::optional<std::uint64_t> keeper;
        for (std::size_t h = 0; h < entries.size(); ++h) {
            const map_entry& old = input.entries[h];
            if (old.type != hunk_self || old.offset != hunk || input.patched.count(h) != 0) {
                continue;
            }
            if (!keeper) {
                keeper = h;
                kept[h] = hunk;
                entries[h] = input.entries[hunk];
            } else {
                entries[h].offset = *keeper;
            }
        }
    }
    return kept;
}

chd_rewrite compressed(const chd_rewrite_input& input) {
    chd_rewrite out;
    out.entries = input.entries;
    const auto kept = keepers(input, out.entries);
    const std::uint32_t hunk_bytes = input.header.hunk_bytes;
    std::vector<file_piece> body;
    std::uint64_t at = chd_header_size;
    for (std::size_t i = 0; i < input.metadata.size(); ++i) {
        const std::uint64_t next = at + metadata_header_size + input.metadata[i].data.size();
        append(body, entry_bytes(input.metadata[i], i + 1 < input.metadata.size() ? next : 0));
        at = next;
    }
    for (std::size_t h = 0; h < out.entries.size(); ++h) {
        map_entry& entry = out.entries[h];
        const auto patch = input.patched.find(h);
        if (patch != input.patched.end()) {
            const encoded_hunk& hunk = patch->second;
            entry = {hunk.type, static_cast<std::uint32_t>(hunk.bytes.size()), at, hunk.crc};
            append(body, hunk.bytes);
        } else if (entry.type <= hunk_stored) {
            const auto keeper = kept.find(h);
            const map_entry& source =
                input.entries[keeper == kept.end() ? h : static_cast<std::size_t>(keeper->second)];
            entry.length = stored_length(source, hunk_bytes);
            append_copy(body, source.offset, entry.length);
            entry.offset = at;
        } else {
            continue;
        }
        at += entry.length;
    }
    // The header, which needs the map's offset, goes before what it counts.
    append(out.pieces, header_bytes(input.header, input.raw_sha1, at, input.metadata));
    std::move(body.begin(), body.end(), std::back_inserter(out.pieces));
    append(out.pieces, compressed_map(out.entries));
    return out;
}

chd_rewrite uncompressed(const chd_rewrite_input& input) {
    chd_rewrite out;
    out.entries = input.entries;
    std::map<std::uint64_t, std::string> overlays;  // by offset in the new file
    const std::uint32_t hunk_bytes = input.header.hunk_bytes;
    std::uint64_t end = input.file_size;
    for (const auto& patch : input.patched) {
        map_entry& entry = out.entries[static_cast<std::size_t>(patch.first)];
        const bool alone =
            entry.type == hunk_stored &&
            std::count_if(input.entries.begin(), input.entries.end(), [&entry](const map_entry& e) {
                return e.type == hunk_stored && e.offset == entry.offset;
            }) == 1;
        if (!alone) {
            const std::uint64_t place = (end + hunk_bytes - 1) / hunk_bytes * hunk_bytes;
            overlays[end] = std::string(static_cast<std::size_t>(place - end), '\0');
            entry = {hunk_stored, hunk_bytes, place, patch.second.crc};
            end = place + hunk_bytes;
        }
        overlays[entry.offset] = patch.second.bytes;
    }
    overlays[input.header.map_offset] = uncompressed_map(out.entries, hunk_bytes);
    chd_header header = input.header;
    if (header.raw_sha1 != chd_sha1{} || header.sha1 != chd_sha1{}) {
        header.raw_sha1 = input.raw_sha1;
        header.sha1 = overall_sha1(input.raw_sha1, input.metadata);
    }
    overlays[0] = chd_header_bytes(header);
    std::uint64_t at = 0;
    for (auto& overlay : overlays) {
        const std::uint64_t stop = std::min(overlay.first, input.file_size);
        append_copy(out.pieces, at, stop - std::min(at, stop));
        at = overlay.first + overlay.second.size();
        if (!overlay.second.empty()) {
            append(out.pieces, std::move(overlay.second));
        }
    }
    append_copy(out.pieces, at, input.file_size - std::min(at, input.file_size));
    return out;
}

}  // namespace

chd_rewrite plan_rewrite(const chd_rewrite_input& input) {
    return input.header.compressed() ? compressed(input) : uncompressed(input);
}
