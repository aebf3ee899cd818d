// What chdman's files here cannot show: hunks of the zstd codecs, compressed here with libzstd
// (a CD frame's sync and parity dropped as the encoder drops them), an lzma one that ends early,
// the oldest, binary track table, and text track entries with each fault a damaged one may have.
#include <gtest/gtest.h>
#include <lzma.h>
#include <zstd.h>

#include <algorithm>
#include <tuple>

#include "chd/chd_codecs.hpp"
#include "chd/chd_header.hpp"
#include "chd/chd_metadata.hpp"
#include "sectors/sector_codes.hpp"
#include "support.hpp"

namespace {

std::string zstd(const std::string& bytes) {
    std::string out(ZSTD_compressBound(bytes.size()), '\0');
    out.resize(ZSTD_compress(out.data(), out.size(), bytes.data(), bytes.size(), 3));
    return out;
}

TEST(ChdCodecs, DecodeZstdHunksAndRefuseShortLzma) {
    raw_sector live{};  // frame 1: a Mode 1 sector with live codes
    const std::string data = mode1 + pattern(2048, 7);
    std::copy(data.begin(), data.end(), live.begin());
    write_codes(live, true);
    const std::string frames = pattern(2352, 3) + std::string(96, '\1') +
                               std::string(live.begin(), live.end()) + pattern(96, 5);
    std::string sectors = frames.substr(0, 2352) + frames.substr(2448, 2352);
    sectors.replace(2352, 12, 12, '\0');
    sectors.replace(2352 + 2076, 276, 276, '\0');
    const std::string base = zstd(sectors);
    std::string cd =
        "\2" + std::string(2, '\0') + base + zstd(std::string(96, '\1') + pattern(96, 5));
    put_big_endian(cd, 1, 2, base.size());
    EXPECT_EQ(decode_hunk(fourcc("cdzs"), cd, 4896), frames);
    EXPECT_EQ(decode_hunk(fourcc("cdzs"), cd.substr(0, cd.size() - 1), 4896), std::nullopt);
    EXPECT_EQ(decode_hunk(fourcc("zstd"), zstd(pattern(4096, 9)), 4096), pattern(4096, 9));
    EXPECT_EQ(decode_hunk(fourcc("zstd"), zstd(pattern(4095, 9)), 4096), std::nullopt);
    // An lzma stream whose end marker comes before the hunk's end: refused, not read again forever.
    lzma_options_lzma options{};
    lzma_lzma_preset(&options, 0);
    const std::array<lzma_filter, 2> lzma1{
        {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}}};
    std::string packed(8192, '\0');
    std::size_t size = 0;
    lzma_raw_buffer_encode(lzma1.data(), nullptr,
                           reinterpret_cast<const std::uint8_t*>(frames.data()), 2048,
                           reinterpret_cast<std::uint8_t*>(packed.data()), &size, packed.size());
    EXPECT_EQ(decode_hunk(fourcc("lzma"), packed.substr(0, size), 4096), std::nullopt);
}

// Text entries, a track each, as chdman writes them (NUL-terminated), with
// the header's unit size and length; then the other kinds of disc.
TEST(ChdMetadata, ReadsTextTrackEntriesAndTellsTheDisc) {
    chd_header cd;
    cd.unit_bytes = 2448;
    cd.logical_bytes = 1300 * 2448;
    chd_header dvd = cd;
    dvd.unit_bytes = 2048;
    const auto tracks_of = [](std::uint32_t tag, const std::vector<std::string>& texts,
                              const chd_header& header) {
        std::vector<metadata_entry> entries(texts.size());
        std::transform(texts.begin(), texts.end(), entries.begin(), [tag](const std::string& text) {
            return metadata_entry{tag, 1, text + std::string(1, '\0'), 0};
        });
        return shown(disc_tracks(entries, header, "d"));
    };
    const std::string m1 = "TYPE:MODE1 SUBTYPE:NONE ";
    // Listed out of order; a stored pregap ("V") moves index 1, and may be the whole track;
    // tracks padded to 4 frames.
    EXPECT_EQ(tracks_of(fourcc("CHT2"),
                        {"TRACK:2 " + m1 + "FRAMES:000000010",
                         "TRACK:1 TYPE:MODE2_RAW SUBTYPE:RW FRAMES:7 PREGAP:2 PGTYPE:VMODE2_RAW"},
                        cd),
              "d@4896-17136 2448/24d;d@19584-44064 2448/0d;");
    EXPECT_EQ(tracks_of(fourcc("CHT2"),
                        {"TRACK:1 TYPE:MODE2_FORM2 SUBTYPE:NONE FRAMES:10 PREGAP:10 PGTYPE:VAUDIO",
                         "TRACKS:9 TRACK:2 TYPE:MODE2_FORM_MIX SUBTYPE:NONE FRAMES:4 PREGAP:3"},
                        cd),
              "d@24480-24480 2448/0;d@29376-39168 2448/8d;");
    EXPECT_EQ(tracks_of(fourcc("CHTR"), {"TRACK:1 " + m1 + "FRAMES:10"}, cd), "d@0-24480 2448/0d;");
    EXPECT_EQ(tracks_of(fourcc("DVD "), {""}, dvd), "d@0-3182400 2048/0d;");
    const std::vector<std::tuple<std::uint32_t, std::vector<std::string>, chd_header>> refused{
        {fourcc("CHT2"), {"TRACK:1 " + m1 + "FRAMES:0000000010"}, cd},
        {fourcc("CHT2"), {"TRACK:1 " + m1 + "FRAMES:1O"}, cd},
        {fourcc("CHT2"), {"TRACK:1 " + m1 + "FRAMES:"}, cd},
        {fourcc("CHT2"), {"TRACK:1 " + m1 + "FRAMES:1301"}, cd},
        {fourcc("CHT2"), {"TRACK:1 " + m1 + "FRAMES:10 PREGAP:x"}, cd},
        {fourcc("CHT2"), {"TRACK:1 " + m1 + "FRAMES:10 PREGAP:11 PGTYPE:VMODE1"}, cd},
        {fourcc("CHT2"), {"TRACK:1 TYPE:MODE3 SUBTYPE:NONE FRAMES:10"}, cd},
        {fourcc("CHT2"), {"TRACK:1 TYPE:MODE1 FRAMES:10"}, cd},
        {fourcc("CHT2"), {"TRACK:1 " + m1 + "FRAMES:4", "TRACK:3 " + m1 + "FRAMES:4"}, cd},
        {fourcc("CHT2"), {"TRACK:1 " + m1 + "FRAMES:4"}, dvd},
        {fourcc("DVD "), {""}, cd},
        {fourcc("CHGD"), {"TRACK:1 " + m1 + "FRAMES:4"}, cd},
    };
    for (const auto& [tag, texts, header] : refused) {
        EXPECT_EQ(tracks_of(tag, texts, header), "refused") << texts[0];
    }
}

// A header as chdman writes it, then with one field (offset, width, value) changed.
TEST(ChdHeader, ReadsBackAndRefusesWhatWouldNotBound) {
    chd_header good;
    good.codecs = {fourcc("cdlz"), fourcc("cdzl"), 0, 0};
    good.logical_bytes = 10 * 8 * 2448;
    good.map_offset = 124;
    good.metadata_offset = 9000;
    good.hunk_bytes = 8 * 2448;
    good.unit_bytes = 2448;
    good.raw_sha1[0] = 1;
    good.sha1[19] = 2;
    const std::string bytes = chd_header_bytes(good);
    const auto read = parse_chd_header(bytes, 10000);
    ASSERT_TRUE(read && is_chd(bytes) && read->compressed());
    EXPECT_EQ(chd_header_bytes(*read), bytes);
    EXPECT_EQ(read->hunk_count(), 10U);
    const std::uint64_t most = std::uint64_t{1} << 22;
    const std::vector<std::tuple<std::size_t, std::size_t, std::uint64_t, bool>> table{
        {0, 1, 'm', false},        {8, 4, 125, false},           {12, 4, 4, false},
        {32, 8, 0, false},         {32, 8, 80 * 2448 + 1, true}, {40, 8, 123, false},
        {40, 8, 9999, true},       {40, 8, 10000, false},        {48, 8, 0, true},
        {48, 8, 123, false},       {48, 8, 10000, false},        {56, 4, 0, false},
        {56, 4, 2448 * 428, true}, {56, 4, 2448 * 429, false},   {56, 4, 2448 * 8 + 2048, false},
        {60, 4, 0, false},         {104, 1, 1, false},           {123, 1, 1, false},
    };
    for (const auto& [at, width, value, parses] : table) {
        std::string changed = bytes;
        put_big_endian(changed, at, width, value);
        EXPECT_EQ(parse_chd_header(changed, 10000).has_value(), parses) << at << " " << value;
    }
    EXPECT_FALSE(parse_chd_header(bytes.substr(0, 123), 10000));
    // As many hunks as the cap, and one more.
    chd_header dvd = good;
    dvd.unit_bytes = dvd.hunk_bytes = 2048;
    dvd.logical_bytes = most * 2048;
    EXPECT_TRUE(parse_chd_header(chd_header_bytes(dvd), 10000));
    dvd.logical_bytes += 1;
    EXPECT_FALSE(parse_chd_header(chd_header_bytes(dvd), 10000));
}

// A CHCD entry: the count and six words a track, in either byte order.
std::string chcd(const std::vector<std::array<std::uint32_t, 6>>& tracks, bool big) {
    std::string out(4 + tracks.size() * 24, '\0');
    const auto put = [&](std::size_t at, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i) {
            out[at + (big ? 3 - i : i)] = static_cast<char>(value >> (8 * i) & 0xFF);
        }
    };
    put(0, static_cast<std::uint32_t>(tracks.size()));
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        for (std::size_t w = 0; w < 6; ++w) {
            put(4 + t * 24 + w * 4, tracks[t][w]);
        }
    }
    return out;
}

// The same disc as the text entries every chdman test file holds: a Mode 1
// track of 300 frames with raw subcode, then 1000 frames of audio.
TEST(ChdMetadata, ReadsTheBinaryTrackTableInEitherByteOrder) {
    chd_header cd;
    cd.unit_bytes = 2448;
    cd.logical_bytes = 1300 * 2448;
    const std::string text =
        "TRACK:1 TYPE:MODE1_RAW SUBTYPE:RW_RAW FRAMES:300 PREGAP:150 "
        "PGTYPE:MODE1 POSTGAP:0";
    const std::vector<metadata_entry> cht2{
        {fourcc("CHT2"), 1, text + std::string(1, '\0'), 0},
        {fourcc("CHT2"), 1, "TRACK:2 TYPE:AUDIO SUBTYPE:NONE FRAMES:1000 PREGAP:0", 0}};
    const std::string two = "d@0-734400 2448/16d;d@734400-3182400 2448/0;";
    ASSERT_EQ(shown(disc_tracks(cht2, cd, "d")), two);
    const std::vector<std::array<std::uint32_t, 6>> tracks{{1, 1, 2352, 96, 300, 0},
                                                           {7, 2, 2352, 0, 1000, 0}};
    for (const bool big : {true, false}) {
        const auto read = disc_tracks({{fourcc("CHCD"), 1, chcd(tracks, big), 0}}, cd, "d");
        EXPECT_EQ(shown(read), two);
        EXPECT_EQ(read.value_or(track_list(2)).at(0).shown_size, 2448);
    }
    // The entry, and whether the disc it describes fits.
    const std::vector<std::pair<std::string, std::string>> table{
        {chcd({{1, 2, 2352, 0, 4, 8}, {2, 2, 2336, 0, 4, 0}}, true),
         "d@0-9792 2448/16d;d@29376-39168 2448/8d;"},
        {chcd({{1, 2, 2352, 0, 1300, 0}}, false), "d@0-3182400 2448/16d;"},
        {chcd({{1, 2, 2352, 0, 1301, 0}}, false), "refused"},
        {chcd({{8, 2, 2352, 0, 4, 0}}, true), "refused"},
        {chcd({{1, 3, 2352, 0, 4, 0}}, true), "refused"},
        {chcd(std::vector<std::array<std::uint32_t, 6>>(100, {1, 2, 2352, 0, 4, 0}), true),
         "refused"},
        {chcd({{1, 2, 2352, 0, 4, 0}}, true).substr(0, 27), "refused"},
        {chcd({}, true), "refused"},
    };
    const std::vector<std::array<std::uint32_t, 6>> most(99, {1, 2, 2352, 0, 4, 0});
    EXPECT_EQ(disc_tracks({{fourcc("CHCD"), 1, chcd(most, true), 0}}, cd, "d")->size(), 99U);
    for (const auto& [entry, tracks_read] : table) {
        EXPECT_EQ(shown(disc_tracks({{fourcc("CHCD"), 1, entry, 0}}, cd, "d")), tracks_read);
    }
}

}  // namespace
