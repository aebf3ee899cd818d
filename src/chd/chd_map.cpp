// Decoding both forms of the CHD map into one entry per hunk, and the
// checks that let the hunk reader trust every entry.
#include "chd/chd_map.hpp"

#include <algorithm>
#include <array>

#include "base/byte_reader.hpp"
#include "chd/chd_huffman.hpp"

namespace {

// The symbols of the coded type stream beyond the seven types.
enum : std::uint32_t {
    rle_small = 7,
    rle_large,
    self_same,
    self_next,
    parent_self,
    parent_same,
    parent_next,
    symbol_count
};
constexpr std::size_t coded_symbols = 16;  // the code has room for two more
constexpr int map_code_bits = 8;

std::optional<huffman_decoder> read_map_code(bit_reader& bits) {
    std::vector<std::uint8_t> lengths;
    while (lengths.size() < coded_symbols && !bits.overrun()) {
        auto length = static_cast<std::uint8_t>(bits.read(4));
        std::uint32_t repeat = 1;
        if (length == 1) {
            length = static_cast<std::uint8_t>(bits.read(4));
            repeat = length == 1 ? 1 : bits.read(4) + 3;
        }
        lengths.insert(lengths.end(), repeat, length);
    }
    if (lengths.size() != coded_symbols || bits.overrun()) {
        return std::nullopt;
    }
    return huffman_decoder::make(lengths, map_code_bits);
}

// Step one: the type of every hunk, run lengths expanded.
std::optional<std::vector<std::uint8_t>> read_types(bit_reader& bits, const huffman_decoder& code,
                                                    std::uint64_t hunks) {
    std::vector<std::uint8_t> types;
    std::uint32_t previous = 0;
    std::uint64_t repeat = 0;
    while (types.size() < hunks) {
        if (repeat > 0) {
            --repeat;
            types.push_back(static_cast<std::uint8_t>(previous));
            continue;
        }
        const auto symbol = code.decode(bits);
        if (!symbol || *symbol >= symbol_count) {
            return std::nullopt;
        }
        if (*symbol == rle_small || *symbol == rle_large) {
            const auto high = code.decode(bits);
            const auto low =
                *symbol == rle_large ? code.decode(bits) : std::optional<std::uint32_t>(0);
            if (!high || !low) {
                return std::nullopt;
            }
            repeat = *symbol == rle_small ? 2 + *high : 2 + 16 + 16 * *high + *low;
        } else {
            previous = *symbol;
        }
        if (bits.overrun()) {
            return std::nullopt;
        }
        types.push_back(static_cast<std::uint8_t>(previous));
    }
    return types;
}

struct field_widths {
    int length;
    int self;
    std::uint32_t hunk_bytes;
};

// Step three for one hunk of type `symbol`: its length and CRC, or the hunk
// it refers to. Stored hunks get their offset from the caller.
std::optional<map_entry> read_fields(bit_reader& bits, std::uint8_t symbol, field_widths widths,
                                     std::uint64_t& last_self) {
    if (symbol < hunk_stored) {
        const std::uint32_t length = bits.read(widths.length);
        return map_entry{symbol, length, 0, static_cast<std::uint16_t>(bits.read(16))};
    }
    if (symbol == hunk_stored) {
        return map_entry{symbol, widths.hunk_bytes, 0, static_cast<std::uint16_t>(bits.read(16))};
    }
    if (symbol == hunk_self || symbol == self_same || symbol == self_next) {
        last_self = symbol == hunk_self ? bits.read(widths.self) : last_self + (symbol - self_same);
        return map_entry{hunk_self, 0, last_self, 0};
    }
    return std::nullopt;  // a parent: none is read here
}

std::optional<chd_map> parse_compressed(std::string_view bytes, const chd_header& h,
                                        std::uint64_t file_size) {
    if (bytes.size() < map_header_size ||
        bytes.size() - map_header_size < byte_reader(bytes, 0).be(4)) {
        return std::nullopt;
    }
    std::uint64_t cur = byte_reader(bytes, 4).be(6);
    const auto expected_crc = static_cast<std::uint16_t>(byte_reader(bytes, 10).be(2));
    const int length_bits = static_cast<unsigned char>(bytes[12]);
    const int self_bits = static_cast<unsigned char>(bytes[13]);
    if (length_bits > 32 || self_bits > 32) {
        return std::nullopt;
    }
    bit_reader bits(
        bytes.substr(map_header_size, static_cast<std::size_t>(byte_reader(bytes, 0).be(4))));
    const auto code = read_map_code(bits);
    const auto types = code ? read_types(bits, *code, h.hunk_count()) : std::nullopt;
    if (!types) {
        return std::nullopt;
    }
    chd_map map{{}, true};
    map.entries.reserve(types->size());
    std::uint64_t last_self = 0;
    for (const std::uint8_t symbol : *types) {
        auto e = read_fields(bits, symbol, {length_bits, self_bits, h.hunk_bytes}, last_self);
        if (!e || bits.overrun()) {
            return std::nullopt;
        }
        if (e->type <= hunk_stored) {
            if ((e->type < hunk_stored && (h.codecs[e->type] == 0 || e->length == 0)) ||
                cur > file_size || file_size - cur < e->length) {
                return std::nullopt;
            }
            e->offset = cur;
            cur += e->length;
        }
        map.entries.push_back(*e);
    }
    if (chd_crc16(expanded_map(map.entries)) != expected_crc) {
        return std::nullopt;
    }
    return map;
}

std::optional<chd_map> parse_uncompressed(std::string_view bytes, const chd_header& h,
                                          std::uint64_t file_size) {
    if (bytes.size() / 4 < h.hunk_count()) {
        return std::nullopt;
    }
    chd_map map;
    map.entries.reserve(static_cast<std::size_t>(h.hunk_count()));  // at most most_hunks
    for (std::size_t i = 0; i < h.hunk_count(); ++i) {
        const std::uint64_t place = byte_reader(bytes, 4 * i).be(4);
        if (place == 0) {
            map.entries.push_back({});
        } else if (place >= file_size / h.hunk_bytes) {
            return std::nullopt;
        } else {
            map.entries.push_back({hunk_stored, h.hunk_bytes, place * h.hunk_bytes, 0});
        }
    }
    return map;
}

// Eight tables: table k holds the CRC of a byte followed by k zero bytes,
// so that eight bytes are folded in at once (every hunk of an image is
// checked, and a byte at a time left the CRC the larger part of a patch).
using crc16_tables = std::array<std::array<std::uint16_t, 256>, 8>;
constexpr crc16_tables make_crc16_tables() {
    crc16_tables tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1;
        }
        tables[0][i] = static_cast<std::uint16_t>(crc);
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint16_t before = tables[k - 1][i];
            tables[k][i] = static_cast<std::uint16_t>(before << 8 ^ tables[0][before >> 8]);
        }
    }
    return tables;
}
constexpr crc16_tables crc16_table = make_crc16_tables();

}  // namespace

std::uint16_t chd_crc16(std::string_view bytes, std::uint16_t crc) {
    const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const auto& t = crc16_table;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        crc = static_cast<std::uint16_t>(t[7][(crc >> 8 ^ at(i)) & 0xFF] ^
                                         t[6][(crc ^ at(i + 1)) & 0xFF] ^ t[5][at(i + 2)] ^
                                         t[4][at(i + 3)] ^ t[3][at(i + 4)] ^ t[2][at(i + 5)] ^
                                         t[1][at(i + 6)] ^ t[0][at(i + 7)]);
    }
    for (; i < bytes.size(); ++i) {
        crc = static_cast<std::uint16_t>(crc << 8 ^ t[0][(crc >> 8 ^ at(i)) & 0xFF]);
    }
    return crc;
}

std::string expanded_map(const std::vector<map_entry>& entries) {
    std::string bytes(entries.size() * 12, '\0');
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const map_entry& e = entries[i];
        bytes[i * 12] = static_cast<char>(e.type);
        put_big_endian(bytes, i * 12 + 1, 3, e.length);
        put_big_endian(bytes, i * 12 + 4, 6, e.offset);
        put_big_endian(bytes, i * 12 + 10, 2, e.crc);
    }
    return bytes;
}

std::optional<chd_map> parse_chd_map(std::string_view bytes, const chd_header& header,
                                     std::int64_t file_size) {
    const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(file_size, 0));
    auto map = header.compressed() ? parse_compressed(bytes, header, size)
                                   : parse_uncompressed(bytes, header, size);
    if (!map) {
        return std::nullopt;
    }
    // Self references resolve in one step, to a hunk that holds data.
    for (std::size_t i = 0; i < map->entries.size(); ++i) {
        const map_entry& e = map->entries[i];
        if (e.type == hunk_self &&
            (e.offset >= map->entries.size() || e.offset == i ||
             map->entries[static_cast<std::size_t>(e.offset)].type == hunk_self)) {
            return std::nullopt;
        }
    }
    return map;
}
