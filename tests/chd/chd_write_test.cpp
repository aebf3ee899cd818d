// Tables for writing a CHD: a map coded again reads back as it was, and a
// hunk encoded again decodes to itself with the sectors it may leave out.
#include <gtest/gtest.h>

#include "chd/chd_codecs.hpp"
#include "chd/chd_hunk_encoder.hpp"
#include "chd/chd_map.hpp"
#include "chd/chd_map_writer.hpp"
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
    const codec_slots slots{"cdlz", "cdzl", "cdfl", ""};
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
    const encoded_hunk zlib = encode_hunk(dvd, {"lzma", "zlib", "huff", "flac"}, false);
    EXPECT_EQ(decode_hunk(fourcc("zlib"), zlib.bytes, 4096), dvd);
    EXPECT_EQ(encode_hunk(dvd, {"lzma", "", "", ""}, false).type, hunk_stored);
}

}  // namespace
