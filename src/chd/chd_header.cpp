// Reading and writing the CHD header, with the checks that keep every
// later size and loop bounded.
#include "chd/chd_header.hpp"

#include <algorithm>

#include "base/byte_reader.hpp"

namespace {

constexpr std::string_view magic = "MComprHD";

struct field_at {
    std::size_t codecs = 16, logical = 32, map = 40, metadata = 48, hunk = 56, unit = 60;
    std::size_t raw_sha1 = 64, sha1 = 84, parent_sha1 = 104;
};
constexpr field_at at{};

chd_sha1 digest_at(std::string_view bytes, std::size_t offset) {
    chd_sha1 digest{};
    std::transform(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                   bytes.begin() + static_cast<std::ptrdiff_t>(offset + digest.size()),
                   digest.begin(), [](char c) { return static_cast<std::uint8_t>(c); });
    return digest;
}

void put_digest(std::string& bytes, std::size_t offset, const chd_sha1& digest) {
    std::transform(digest.begin(), digest.end(),
                   bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                   [](std::uint8_t b) { return static_cast<char>(b); });
}

}  // namespace

void put_big_endian(std::string& bytes, std::size_t at_byte, std::size_t width,
                    std::uint64_t value) {
    for (std::size_t i = width; i-- > 0; value >>= 8) {
        bytes[at_byte + i] = static_cast<char>(value & 0xFF);
    }
}

std::string big_endian(std::uint64_t value, std::size_t width) {
    std::string bytes(width, '\0');
    put_big_endian(bytes, 0, width, value);
    return bytes;
}

bool is_chd(std::string_view first_bytes) { return first_bytes.substr(0, magic.size()) == magic; }

std::optional<chd_header> parse_chd_header(std::string_view bytes, std::int64_t file_size) {
    if (bytes.size() < chd_header_size || !is_chd(bytes) ||
        byte_reader(bytes, 8).be(4) != chd_header_size || byte_reader(bytes, 12).be(4) != 5) {
        return std::nullopt;
    }
    chd_header h;
    for (std::size_t k = 0; k < h.codecs.size(); ++k) {
        h.codecs[k] = static_cast<std::uint32_t>(byte_reader(bytes, at.codecs + 4 * k).be(4));
    }
    h.logical_bytes = byte_reader(bytes, at.logical).be(8);
    h.map_offset = byte_reader(bytes, at.map).be(8);
    h.metadata_offset = byte_reader(bytes, at.metadata).be(8);
    h.hunk_bytes = static_cast<std::uint32_t>(byte_reader(bytes, at.hunk).be(4));
    h.unit_bytes = static_cast<std::uint32_t>(byte_reader(bytes, at.unit).be(4));
    h.raw_sha1 = digest_at(bytes, at.raw_sha1);
    h.sha1 = digest_at(bytes, at.sha1);
    h.parent_sha1 = digest_at(bytes, at.parent_sha1);
    const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(file_size, 0));
    const bool units_fit = h.unit_bytes != 0 && h.hunk_bytes != 0 &&
                           h.hunk_bytes <= most_hunk_bytes && h.hunk_bytes % h.unit_bytes == 0;
    if (!units_fit || h.logical_bytes == 0 || h.hunk_count() > most_hunks ||
        h.map_offset < chd_header_size || h.map_offset >= size || h.metadata_offset >= size ||
        (h.metadata_offset != 0 && h.metadata_offset < chd_header_size) ||
        h.parent_sha1 != chd_sha1{}) {
        return std::nullopt;
    }
    return h;
}

std::string chd_header_bytes(const chd_header& h) {
    std::string bytes(chd_header_size, '\0');
    bytes.replace(0, magic.size(), magic);
    put_big_endian(bytes, 8, 4, chd_header_size);
    put_big_endian(bytes, 12, 4, 5);
    for (std::size_t k = 0; k < h.codecs.size(); ++k) {
        put_big_endian(bytes, at.codecs + 4 * k, 4, h.codecs[k]);
    }
    put_big_endian(bytes, at.logical, 8, h.logical_bytes);
    put_big_endian(bytes, at.map, 8, h.map_offset);
    put_big_endian(bytes, at.metadata, 8, h.metadata_offset);
    put_big_endian(bytes, at.hunk, 4, h.hunk_bytes);
    put_big_endian(bytes, at.unit, 4, h.unit_bytes);
    put_digest(bytes, at.raw_sha1, h.raw_sha1);
    put_digest(bytes, at.sha1, h.sha1);
    put_digest(bytes, at.parent_sha1, h.parent_sha1);
    return bytes;
}
