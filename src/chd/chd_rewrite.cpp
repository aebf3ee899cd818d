#include "chd/chd_rewrite.hpp"

#include <algorithm>
#include <optional>

namespace {

constexpr std::size_t header_size = 124;
constexpr std::size_t metadata_head = 16;
constexpr std::size_t next_at = 8;
constexpr std::size_t map_offset_at = 40;
constexpr std::size_t metadata_offset_at = 48;
constexpr std::size_t raw_sha1_at = 64;
constexpr std::size_t overall_sha1_at = 84;
constexpr std::size_t codecs_at = 16;

void put_big_endian(std::string& bytes, std::size_t at, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[at + width - 1 - i] = static_cast<char>(value >> (8 * i) & 0xFF);
    }
}

void put_sum(std::string& bytes, std::size_t at, const sha1_sum& sum) {
    std::copy(sum.begin(), sum.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

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
    return entry.type == map_stored ? hunk_bytes : entry.length;
}

sha1_sum overall(const chd_rewrite_input& input) {
    return overall_sha1(input.raw_sha1, checksummed_records(input.metadata));
}

// The hunks that copy a patched one: the first keeps its old bytes, the
// others name the first.
std::map<std::uint64_t, std::uint64_t> keepers(const chd_rewrite_input& input,
                                               std::vector<map_entry>& entries) {
    std::map<std::uint64_t, std::uint64_t> kept;  // keeper -> the patched hunk it keeps
    for (const auto& patch : input.patched) {
        const std::uint64_t hunk = patch.first;
        if (input.entries[hunk].type > map_stored) {
            continue;
        }
        std::optional<std::uint64_t> keeper;
        for (std::uint64_t h = 0; h < entries.size(); ++h) {
            const map_entry& old = input.entries[h];
            if (old.type != map_self || old.offset != hunk || input.patched.count(h) != 0) {
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
    std::string header = input.header.substr(0, header_size);
    std::vector<file_piece> body;
    std::uint64_t at = header_size;
    for (std::size_t i = 0; i < input.metadata.size(); ++i) {
        std::string entry = input.metadata[i];
        const std::uint64_t next = at + entry.size();
        put_big_endian(entry, next_at, i + 1 < input.metadata.size() ? next : 0, 8);
        append(body, std::move(entry));
        at = next;
    }
    put_big_endian(header, metadata_offset_at, input.metadata.empty() ? 0 : header_size, 8);
    for (std::uint64_t h = 0; h < out.entries.size(); ++h) {
        map_entry& entry = out.entries[h];
        const auto patch = input.patched.find(h);
        if (patch != input.patched.end()) {
            const encoded_hunk& hunk = patch->second;
            entry = {hunk.type, static_cast<std::uint32_t>(hunk.bytes.size()), at, hunk.crc};
            append(body, hunk.bytes);
        } else if (entry.type <= map_stored) {
            const auto keeper = kept.find(h);
            const map_entry& source = input.entries[keeper == kept.end() ? h : keeper->second];
            entry.length = stored_length(source, input.hunk_bytes);
            append_copy(body, source.offset, entry.length);
            entry.offset = at;
        } else {
            continue;
        }
        entry.length = stored_length(entry, input.hunk_bytes);
        at += entry.length;
    }
    put_big_endian(header, map_offset_at, at, 8);
    put_sum(header, raw_sha1_at, input.raw_sha1);
    put_sum(header, overall_sha1_at, overall(input));
    append(out.pieces, std::move(header));
    for (file_piece& piece : body) {
        if (piece.bytes.empty()) {
            append_copy(out.pieces, piece.from, piece.length);
        } else {
            out.pieces.push_back(std::move(piece));
        }
    }
    append(out.pieces, compressed_map(out.entries, input.hunk_bytes, input.unit_bytes));
    return out;
}

chd_rewrite uncompressed(const chd_rewrite_input& input) {
    chd_rewrite out;
    out.entries = input.entries;
    std::map<std::uint64_t, std::string> overlays;  // by offset in the new file
    std::uint64_t end = input.file_size;
    for (const auto& patch : input.patched) {
        map_entry& entry = out.entries[patch.first];
        const bool alone =
            entry.type == map_stored && entry.offset != 0 &&
            std::count_if(input.entries.begin(), input.entries.end(), [&entry](const map_entry& e) {
                return e.type == map_stored && e.offset == entry.offset;
            }) == 1;
        if (!alone) {
            const std::uint64_t place =
                (end + input.hunk_bytes - 1) / input.hunk_bytes * input.hunk_bytes;
            overlays[end] = std::string(place - end, '\0');
            entry = {map_stored, input.hunk_bytes, place, patch.second.crc};
            end = place + input.hunk_bytes;
        }
        overlays[entry.offset] = patch.second.bytes;
    }
    overlays[input.map_offset] = uncompressed_map(out.entries, input.hunk_bytes);
    std::string header = input.header.substr(0, header_size);
    if (header.substr(raw_sha1_at, 40) != std::string(40, '\0')) {
        put_sum(header, raw_sha1_at, input.raw_sha1);
        put_sum(header, overall_sha1_at, overall(input));
    }
    overlays[0] = header;
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

std::vector<std::string> checksummed_records(const std::vector<std::string>& metadata) {
    constexpr std::size_t flags_at = 4;
    std::vector<std::string> records;
    for (const std::string& entry : metadata) {
        if (entry.size() >= metadata_head && (entry[flags_at] & 1) != 0) {
            records.push_back(
                metadata_record(entry.substr(0, 4), std::string_view(entry).substr(metadata_head)));
        }
    }
    return records;
}

chd_rewrite plan_rewrite(const chd_rewrite_input& input) {
    const bool has_codecs = input.header.substr(codecs_at, 4) != std::string(4, '\0');
    return has_codecs ? compressed(input) : uncompressed(input);
}
