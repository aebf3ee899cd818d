// Tables for writing a CHD: a map coded again reads back as it was, and the
// reader refuses it with any one fault; a hunk encoded again decodes to
// itself with the sectors it may leave out.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "chd/chd_codecs.hpp"
#include "chd/chd_hunk_encoder.hpp"
#include "chd/chd_map.hpp"
#include "chd/chd_map_writer.hpp"
#include "chd/chd_rewrite.hpp"
#include "sectors/sector_codes.hpp"
#include "support.hpp"

namespace {

constexpr std::uint32_t frame = 2448;
constexpr std::uint32_t hunk_bytes = 8 * frame;

// Hunks of the given types back to back from byte 124, lengths and CRCs
// from their numbers; self references name hunks 0 to `targets` - 1 in turn.
std::vector<map_entry> entries(const std::string& types, std::uint64_t targets = 1) {
    std::vector<map_entry> list;
    std::uint64_t at = 124;
    std::uint64_t references = 0;
    for (std::size_t i = 0; i < types.size(); ++i) {
        const auto type = static_cast<std::uint8_t>(types[i] - '0');
        const auto length =
            static_cast<std::uint32_t>(type == hunk_stored ? hunk_bytes : 40 + i * 7);
        if (type == hunk_self) {
            list.push_back({type, 0, references++ % targets, 0});
            continue;
        }
        list.push_back({type, length, at, static_cast<std::uint16_t>(i * 4099)});
        at += length;
    }
    return list;
}

TEST(CompressedMap, ReadsBackAsWritten) {
    const std::vector<std::vector<map_entry>> table{
        entries("0"),
        entries("1"),
        entries(std::string(300, '2')),
        entries("0000000000000000000000000000045"),
        entries("01" + std::string(40, '5'), 2),
        entries("012" + std::string(40, '5'), 3),
        entries("4" + std::string(20, '5') + "0155154" + std::string(300, '5'), 1),
        entries("01234012340123401234"),
    };
    for (const std::vector<map_entry>& rows : table) {
        chd_header header;
        header.codecs = {fourcc("cdlz"), fourcc("cdzl"), fourcc("cdfl"), fourcc("cdzs")};
        header.hunk_bytes = hunk_bytes;
        header.unit_bytes = frame;
        header.logical_bytes = rows.size() * hunk_bytes;
        const std::string map = compressed_map(rows);
        const auto read = parse_chd_map(map, header, std::int64_t{1} << 40);
        ASSERT_TRUE(read) << rows.size();
        EXPECT_EQ(expanded_map(read->entries), expanded_map(rows)) << rows.size();
    }
    // References to hunks one after another cost no offsets, as references to one hunk do: a
    // symbol more at most.
    const std::string types = std::string(9, '0') + std::string(9, '5');
    EXPECT_LE(compressed_map(entries(types, 9)).size(),
              compressed_map(entries(types, 1)).size() + 1);
}

// A map read back whole, then with one fault: a hunk past the file's end,
// a codec slot that is empty, a field too wide, a CRC or a length that is
// off, a reference that leads nowhere.
TEST(CompressedMap, RefusesAMapThatLeadsOutside) {
    chd_header header;
    header.codecs = {fourcc("cdlz"), fourcc("cdzl"), 0, 0};
    header.hunk_bytes = hunk_bytes;
    header.unit_bytes = frame;
    const auto parsed = [&](const std::vector<map_entry>& rows, std::int64_t file_size,
                            const std::function<void(std::string&)>& change) {
        header.logical_bytes = rows.size() * hunk_bytes;
        std::string map = compressed_map(rows);
        change(map);
        return parse_chd_map(map, header, file_size).has_value();
    };
    const auto as_is = [](std::string&) {};
    const std::vector<map_entry> good = entries("0150");  // ends at byte 124 + 40 + 47 + 61
    EXPECT_TRUE(parsed(good, 272, as_is));
    EXPECT_FALSE(parsed(good, 271, as_is));
    EXPECT_FALSE(parsed(entries("0125"), 1 << 20, as_is));
    EXPECT_FALSE(parsed(good, 272, [](std::string& m) { m[12] = 33; }));
    EXPECT_FALSE(parsed(good, 272, [](std::string& m) { m[13] = 33; }));
    EXPECT_FALSE(parsed(good, 272, [](std::string& m) { m[11] = static_cast<char>(m[11] ^ 1); }));
    EXPECT_FALSE(parsed(good, 272, [](std::string& m) { m[3] = static_cast<char>(m[3] + 1); }));
    std::vector<map_entry> self = good;
    for (const std::uint64_t target : {std::uint64_t{2}, std::uint64_t{4}}) {
        self[2].offset = target;  // itself, then no hunk
        EXPECT_FALSE(parsed(self, 272, as_is)) << target;
    }
    self[2].offset = 0;
    self.push_back({hunk_self, 0, 2, 0});  // a reference to a reference
    EXPECT_FALSE(parsed(self, 272, as_is));
    // The 4-byte form: each hunk where the file holds a whole one.
    header.codecs = {};
    header.logical_bytes = 2 * hunk_bytes;
    const std::string places = big_endian(1, 4) + big_endian(3, 4);
    EXPECT_TRUE(parse_chd_map(places, header, 4 * hunk_bytes));
    EXPECT_FALSE(parse_chd_map(places, header, 4 * hunk_bytes - 1));
    EXPECT_FALSE(parse_chd_map(places.substr(0, 7), header, 4 * hunk_bytes));
}

std::string framed(std::string sector, bool codes) {
    raw_sector raw{};
    std::copy(sector.begin(), sector.end(), raw.begin());
    if (codes) {
        write_codes(raw, sector[15] == 1);
    }
    return std::string(raw.begin(), raw.end()) + pattern(96, 3);
}

struct encoding {
    std::string frames;  // the hunk's frames, zero-filled to the hunk
    std::uint8_t flags;  // the frames whose sync and parity a reader makes again
};

TEST(HunkEncoder, DecodesToItselfLeavingOutWhatAReaderRemakes) {
    const std::string form1 = mode2 + std::string("\0\0\x08\0\0\0\x08\0", 8);
    const std::vector<encoding> table{
        {"", 0},
        {framed(mode1 + pattern(2048, 5), true), 1},
        {framed(mode1 + pattern(2048, 5), false) + framed(form1 + pattern(2048, 7), true), 2},
        {framed(unsynced + pattern(2048, 5), true) + framed(mode2 + pattern(2336, 9), false), 0},
        {framed(form1 + pattern(2048, 7), true) + framed(form1 + std::string(2048, '\0'), true), 3},
    };
    const std::array<std::uint32_t, 4> slots{fourcc("cdlz"), fourcc("cdzl"), fourcc("cdfl"), 0};
    for (const encoding& row : table) {
        std::string hunk = row.frames;
        hunk.resize(hunk_bytes, '\0');
        const encoded_hunk encoded = encode_hunk(hunk, slots, true);
        EXPECT_EQ(encoded.crc, chd_crc16(hunk));
        ASSERT_EQ(encoded.type, 1) << row.frames.size();
        EXPECT_EQ(encoded.bytes[0], static_cast<char>(row.flags)) << row.frames.size();
        EXPECT_EQ(decode_hunk(fourcc("cdzl"), encoded.bytes, hunk_bytes), hunk);
    }
    const std::string dvd = pattern(4096, 11);
    const encoded_hunk zlib =
        encode_hunk(dvd, {fourcc("lzma"), fourcc("zlib"), fourcc("huff"), fourcc("flac")}, false);
    EXPECT_EQ(decode_hunk(fourcc("zlib"), zlib.bytes, 4096), dvd);
    EXPECT_EQ(encode_hunk(dvd, {fourcc("lzma"), 0, 0, 0}, false).type, hunk_stored);
}

// A patched hunk that others copied: the first of them keeps its old bytes, the next names that
// one. The runner's build of the rewrite checks its indexes (CMakeLists.txt).
TEST(Rewrite, KeepsAPatchedHunksOldBytesForItsCopies) {
    chd_rewrite_input input;
    input.header.codecs = {fourcc("cdlz"), fourcc("cdzl"), 0, 0};
    input.header.hunk_bytes = hunk_bytes;
    input.entries = entries("0155");
    input.patched.emplace(0, encode_hunk(std::string(hunk_bytes, '\1'), input.header.codecs, true));
    const std::vector<map_entry> written = plan_rewrite(input).entries;
    EXPECT_EQ(
        std::make_tuple(written[2].type, written[2].length, written[3].type, written[3].offset),
        std::make_tuple(0, 40, hunk_self, 2));
}

}  // namespace
