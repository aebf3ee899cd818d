// Tables for the sheet and Nero track-table readers and for the track choice (the Alcohol and
// DiscJuggler descriptors, hostile ones too, are the containers script's).
#include "containers/container.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "containers/cdrdao_toc.hpp"
#include "containers/clonecd_image.hpp"
#include "containers/cue_sheet.hpp"
#include "containers/nero_image.hpp"
#include "containers/track_choice.hpp"
#include "support.hpp"

namespace {

TEST(TrackTables, ReadCueSheetsAndTocs) {
    std::string many = "FILE a.bin BINARY\n";
    for (int i = 0; i < 100; ++i) {
        many += "TRACK 1 AUDIO\nINDEX 1 00:00:00\n";
    }
    // The reader, the text, the tracks.
    const std::vector<std::tuple<table_reader, std::string, std::string>> table{
        {read_cue_sheet,
         "\xEF\xBB\xBF"
         "FILE \"e.bin\" BINARY\r\n TRACK 01 audio\r\n  INDEX 01 00:00:00\r\n"
         "rem session 02\r\n track 02 mode1/2352\r\n  index 00 00:04:00\r\n  INDEX 01 00:06:00\r\n",
         "e.bin@0-705600 2352/0;e.bin@1058400--1 2352/16d s2;"},
        {read_cue_sheet,
         "FILE My Disc (Track 1).bin BINARY\n\nTRACK 01 MODE2/2336\nPREGAP 00:02:00\nINDEX 01 "
         "00:00:00\nFILE \"b.wav\" WAVE\nTRACK 02 MODE1/2048\nINDEX 01 00:00:05\n",
         "My Disc (Track 1).bin@0--1 2336/8d;b.wav@10240--1 2048/0;"},
        // Sectors before a track's start count at the size of the track they belong to.
        {read_cue_sheet,
         "FILE x BINARY\nTRACK 1 MODE1/2048\nINDEX 1 00:00:10\nTRACK 2 AUDIO\nINDEX 0 "
         "00:00:20\nINDEX 1 00:00:22\nTRACK 3 CDI/2352\nINDEX 1 00:00:30",
         "x@20480-40960 2048/0d;x@45664-64480 2352/0;x@64480--1 2352/24d;"},
        {read_cue_sheet, "TRACK 01 MODE1/2048\nINDEX 01 00:00:00\n", "refused"},
        {read_cue_sheet,
         "FILE a BINARY\nTRACK 1 AUDIO\nINDEX 1 00:00:00\nFILE b\nTRACK 2 AUDIO\nINDEX 1 00:00:01",
         "refused"},
        {read_cue_sheet, "FILE a BINARY\nTRACK 01 MODE3/2048\nINDEX 01 00:00:00\n", "refused"},
        {read_cue_sheet, "FILE a BINARY\nTRACK 1 AUDIO\nINDEX 0 00:60:00\nINDEX 1 00:00:00",
         "refused"},
        {read_cue_sheet, "FILE a BINARY\nTRACK 01 AUDIO\nINDEX 00 00:00:01\n", "refused"},
        {read_cue_sheet,
         "FILE a BINARY\nTRACK 1 AUDIO\nINDEX 1 00:00:09\nTRACK 2 AUDIO\nINDEX 1 00:00:08\n",
         "refused"},
        {read_cue_sheet, many, "refused"},
        {read_cdrdao_toc,
         "CD_ROM_XA\nCD_TEXT { LANGUAGE 0 {\n TITLE \"a // b\" } }\nTRACK AUDIO // one\nNO COPY\n"
         "FILE \"d.bin\" #0 0 00:00:10\nTRACK MODE1_RAW RW_RAW\nPREGAP 00:02:00\n"
         "DATAFILE \"d.bin\" #23520 00:00:30 // bytes\nTRACK MODE2_FORM1\nzero 00:00:02\n"
         "DATAFILE \"e.iso\" 00:00:01\nDATAFILE f/g.iso 4000\nSTART 00:00:03\n",
         "d.bin@0-23520 2352/0;d.bin@23520-96960 2448/16d;f/g.iso@0-4096 2048/0d;"},
        // Nothing places what follows a source that runs to its file's end.
        {read_cdrdao_toc, "TRACK MODE1\nDATAFILE \"e.iso\"\nDATAFILE \"f.iso\"\n", "refused"},
        {read_cdrdao_toc,
         "TRACK AUDIO\nAUDIOFILE \"a.wav\" 589 1176\nTRACK MODE2\nFILE d 00:00:01\nSTART 00:00:00",
         "a.wav@2356-7060 2352/0;d@2336--1 2336/8d;"},
        {read_cdrdao_toc, "TRACK AUDIO\nFILE \"a\" #2352\n", "refused"},
        {read_cdrdao_toc, "TRACK MODE1\nDATAFILE \"a\"\nSTART 0\n", "refused"},
        {read_cdrdao_toc, "TRACK MODE1\nZERO 00:00:05\n", "refused"},
        {read_cdrdao_toc, "TRACK MODE1\nDATAFILE a 00:00:20\nTRACK MODE3\nDATAFILE b\n", "refused"},
        {read_cdrdao_toc, "TRACK MODE1\nDATAFILE a 00:00:20\nTRACK MODE1 RAW\nDATAFILE b\n",
         "refused"},
        {read_cdrdao_toc, "TRACK MODE1\nDATAFILE \"a\" #x\n", "refused"},
        {read_cdrdao_toc, "TRACK MODE1\nDATAFILE \"a\" #000000000002048\n", "a@2048--1 2048/0d;"},
        {read_cdrdao_toc, "TRACK MODE1\n}\n", "refused"},
        {read_cdrdao_toc, "TRACK MODE1\nFIFO \"p\" 00:00:20\nDATAFILE a\n", "refused"},
    };
    for (const auto& [read, text, tracks] : table) {
        EXPECT_EQ(shown(read(text, 0, "")), tracks) << text;
    }
}

// Little-endian fields of {value, width}; bytes past the eighth are zero.
std::string bytes(std::initializer_list<std::pair<std::uint64_t, int>> fields) {
    std::string out;
    for (const auto& [value, width] : fields) {
        for (int i = 0; i < width; ++i) {
            out += static_cast<char>(i < 8 ? value >> (8 * i) & 0xFF : 0);
        }
    }
    return out;
}

void expect_refused(table_reader read, const std::vector<std::string>& tables) {
    for (std::size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(shown(read(tables[i], std::int64_t{1} << 40, "x.img")), "refused")
            << "case " << i;
    }
}

std::string entry(int session, const std::string& point, int control, const std::string& at) {
    return "[Entry]\r\nSession=" + std::to_string(session) + "\r\nPoint=" + point +
           "\r\nADR=0x01\r\nControl=0x0" + std::to_string(control) + "\r\n" + at + "\r\n";
}

std::string be(std::uint64_t value, int width) {
    const std::string le = bytes({{value, width}});
    return {le.rbegin(), le.rend()};
}

std::string chunk(const std::string& id, const std::string& body) {
    return id + be(body.size(), 4) + body;
}

// A disc-at-once entry: size, mode, index 0, index 1, end.
std::string dao(std::uint64_t size, int mode, std::uint64_t i0, std::uint64_t i1, std::uint64_t end,
                int w) {
    return std::string(12, 'I') + be(size, 2) + be(static_cast<std::uint64_t>(mode), 1) +
           std::string(3, '\0') + be(i0, w) + be(i1, w) + be(end, w);
}

std::string dao_head(std::uint64_t tracks) { return std::string(20, '\0') + "\1" + be(tracks, 1); }

TEST(TrackTables, ReadNeroChunkLists) {
    const std::string two = dao_head(2) + dao(2352, 7, 0, 352800, 705600, 8) +
                            dao(2048, 0, 705600, 1013800, 2000000, 8);
    const std::string etnf = be(4096, 4) + be(40960, 4) + be(3, 4) + be(0, 8);
    std::string modes = dao_head(10);  // every mode Nero writes, at the size it stores
    const std::vector<std::pair<std::uint64_t, int>> stored{
        {2048, 0}, {2048, 2}, {2336, 3},   {2352, 5},    {2352, 6},
        {2352, 7}, {2352, 8}, {2448, 0xF}, {2448, 0x10}, {2448, 0x11}};
    for (const auto& [size, code] : stored) {
        modes += dao(size, code, 0, 0, 0, 4);
    }
    // A track that reads, before each fault: the fault alone must refuse the list.
    const std::string good = chunk("ETNF", etnf);
    const std::string end = chunk("END!", "");
    const std::vector<std::pair<std::string, std::string>> table{
        {chunk("ETNF", etnf) + end, "n@4096-45056 2336/8d;"},
        {chunk("DAOI", modes) + end,
         "n@0-0 2048/0d;n@0-0 2048/0d;n@0-0 2336/8d;n@0-0 2352/16d;n@0-0 2352/24d;n@0-0 2352/0;"
         "n@0-0 2352/0;n@0-0 2448/16d;n@0-0 2448/0;n@0-0 2448/24d;"},
        {chunk("DAOX", two) + chunk("SINF", be(1, 4)) + end, "refused"},
        {chunk("DAOX", two) + chunk("SINF", be(1, 4)) + chunk("SINF", be(1, 4)) + end,
         "n@352800-705600 2352/0;n@1013800-2000000 2048/0d s2;"},
        {good + chunk("DAOI", dao_head(1) + dao(2352, 0, 0, 10, 99, 4)) + end, "refused"},
        {good + chunk("DAOI", dao_head(1) + dao(2048, 0, 20, 10, 99, 4)) + end, "refused"},
        {good + chunk("DAOX", dao_head(1) + dao(2048, 0, 0, 0, 2000001, 8)) + end, "refused"},
        {good + chunk("ETNF", etnf + "x") + end, "refused"},
        {good + chunk("ETNF", be(0, 4) + be(2000001, 4) + be(3, 12)) + end, "refused"},
        {chunk("ETNF", etnf) + "END!" + be(1, 4), "refused"},
        {chunk("ETNF", etnf), "refused"},
    };
    for (const auto& [chunks, tracks] : table) {
        EXPECT_EQ(shown(read_nero_chunks(chunks, 2000000, "n")), tracks) << tracks;
    }
}

track at(std::int64_t offset, std::int64_t end, std::int32_t size, bool data = true) {
    return {"f", offset, end, {size, data && size > 2048 ? 24 : 0}, data, false, 1};
}

TEST(TrackChoice, TakesTheLastVolumeAndTrustsNoTableBeyondItsFile) {
    const std::int64_t mid = 40 * 2352;
    track raw = at(0, 40 * 2352, 2352);
    raw.mode_from_header = true;
    track_list most(98,
                    track{"g", 0, 2352, {2352, 0}, false, false, 1});  // 98 in a file not opened
    most.push_back(at(0, -1, 2048));
    // The tracks, where "CD001" stands, the track chosen as shown() or the refusal.
    const std::vector<std::tuple<track_list, std::vector<std::int64_t>, std::string>> table{
        {{at(0, mid, 2352), at(mid, -1, 2048)}, {24 + 16 * 2352 + 1}, "f@0-94080 2352/24d;"},
        // A track of 16 sectors has no sector 16: what lies past it is another's.
        {{at(0, mid, 2352), at(mid, mid + 16 * 2048, 2048)},
         {mid + 16 * 2048 + 1},
         "f@0-94080 2352/24d;"},
        {{raw}, {}, "f@0-94080 2352/16dh;"},
        {most, {16 * 2048 + 1}, "f@0-1000000 2048/0d;"},
        {{at(0, 16 * 2048, 2048)}, {}, "f@0-32768 2048/0d;"},
        {{at(0, mid + 1, 2352, false), at(mid, -1, 2048)}, {}, "unknown image\n"},
        {{at(mid, 1000001, 2048)}, {}, "unknown image\n"},
        {{at(-2048, mid, 2048)}, {}, "unknown image\n"},
        {{at(0, mid, 0)}, {}, "unknown image\n"},
    };
    for (const auto& [tracks, marked, chosen] : table) {
        const track_choice got = choose_track(
            tracks, {{"f", 1000000}},
            [&marked = marked](const std::string&, std::int64_t offset, std::int64_t count) {
                const bool mark = std::count(marked.begin(), marked.end(), offset) != 0;
                return count == 16
                           ? std::string("\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0\0\2\0\1", 16)
                           : std::string(mark ? "CD001" : "CD002");
            });
        EXPECT_EQ(got.refusal.empty() ? shown(track_list{got.chosen}) : got.refusal, chosen);
    }
}

TEST(CloneCdDescriptor, SessionsLieBackToBack) {
    // Audio track 1, lead-out at 1000; data tracks 2 at 12400 and 3 at 2:50:00 (12600).
    const std::string audio = entry(1, "0xa0", 0, "PLBA=4350") + entry(1, "0x01", 0, "PLBA=0") +
                              entry(1, "0xA2", 0, "PLBA=1000");
    const std::string data =
        entry(2, "0x02", 4, "PLBA=12400") + entry(2, "0x03", 4, "pmin=2\npsec=50\npframe=0");
    const std::string disc = audio + data + entry(2, "0xa2", 4, "PLBA=12900");
    // No [TRACK] sections name the modes: the tracks' headers will; a stray key is no section's.
    EXPECT_EQ(shown(read_clonecd("Version=2\n" + disc, 0, "d.ccd")),
              "d.img@0-2352000 2352/0;d.img@2352000-2822400 2352/24dh s2;"
              "d.img@2822400-3528000 2352/24dh s2;");
    expect_refused(read_clonecd,
                   {"[Disc]\nDataTracksScrambled=1\n" + disc, audio + data,
                    audio + data + entry(2, "0xa2", 4, "PLBA=12500"),
                    entry(1, "0x01", 0, "PLBA=-5") + entry(1, "0xa2", 0, "PLBA=9"),
                    entry(1, "0x01", 0, "PMin=0\nPSec=1\nPFrame=0") + entry(1, "0xa2", 0, "PLBA=9"),
                    entry(1, "0x01", 0, "") + entry(1, "0xa2", 0, "PLBA=9"),
                    audio + entry(1, "0x01", 0, "PLBA=500"), disc + "[TRACK 2]\nMODE=0\n", ""});
}

}  // namespace
