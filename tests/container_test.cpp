// Tables for the track tables: cue sheets, cdrdao tocs, Nero chunk lists, and the track choice.
#include "container.hpp"

#include <gtest/gtest.h>

#include "cdrdao_toc.hpp"
#include "cue_sheet.hpp"
#include "nero_image.hpp"
#include "track_choice.hpp"

namespace {

// "file@offset-end size/data_offset" per track, "d" for data, "sN" past session 1.
std::string shown(const std::optional<track_list>& tracks) {
    if (!tracks) {
        return "refused";
    }
    std::string text;
    for (const track& t : *tracks) {
        text += t.file + "@" + std::to_string(t.offset) + "-" + std::to_string(t.end) + " " +
                std::to_string(t.layout.sector_size) + "/" + std::to_string(t.layout.data_offset) +
                (t.data ? "d" : "") + (t.session > 1 ? " s" + std::to_string(t.session) : "") + ";";
    }
    return text;
}

struct sheet_case {
    table_reader read;
    std::string text;
    std::string tracks;
};

TEST(TrackTables, ReadCueSheetsAndTocs) {
    const std::string many = [] {
        std::string text = "FILE a.bin BINARY\n";
        for (int i = 0; i < 100; ++i) {
            text += "TRACK 01 AUDIO\nINDEX 01 00:00:0" + std::to_string(i % 10) + "\n";
        }
        return text;
    }();
    const std::vector<sheet_case> table{
        {read_cue_sheet,
         "\xEF\xBB\xBF"
         "FILE \"e.bin\" BINARY\r\n TRACK 01 AUDIO\r\n  INDEX 01 00:00:00\r\n"
         "rem session 02\r\n track 02 mode1/2352\r\n  index 00 00:04:00\r\n  INDEX 01 00:06:00\r\n",
         "e.bin@0-705600 2352/0;e.bin@1058400--1 2352/16d s2;"},
        {read_cue_sheet,
         "FILE My Disc (Track 1).bin BINARY\nTRACK 01 MODE2/2336\nPREGAP 00:02:00\nINDEX 01 "
         "00:00:00\nFILE \"b.wav\" WAVE\nTRACK 02 MODE1/2048\nINDEX 01 00:00:05\n",
         "My Disc (Track 1).bin@0--1 2336/8d;b.wav@10240--1 2048/0;"},
        // Sectors before a track's start count at the size of the track they belong to.
        {read_cue_sheet,
         "FILE x BINARY\nTRACK 1 MODE1/2048\nINDEX 1 00:00:10\nTRACK 2 AUDIO\nINDEX 0 "
         "00:00:20\nINDEX 1 00:00:22\nTRACK 3 CDI/2352\nINDEX 1 00:00:30",
         "x@20480-40960 2048/0d;x@45664-64480 2352/0;x@64480--1 2352/24d;"},
        {read_cue_sheet, "TRACK 01 MODE1/2048\nINDEX 01 00:00:00\n", "refused"},
        {read_cue_sheet, "FILE a BINARY\nTRACK 01 MODE3/2048\nINDEX 01 00:00:00\n", "refused"},
        {read_cue_sheet, "FILE a BINARY\nTRACK 01 AUDIO\nINDEX 01 00:60:00\n", "refused"},
        {read_cue_sheet, "FILE a BINARY\nTRACK 01 AUDIO\nINDEX 00 00:00:01\n", "refused"},
        {read_cue_sheet,
         "FILE a BINARY\nTRACK 1 AUDIO\nINDEX 1 00:00:09\nTRACK 2 AUDIO\nINDEX 1 00:00:08\n",
         "refused"},
        {read_cue_sheet, many, "refused"},
        {read_cdrdao_toc,
         "CD_ROM_XA\nCD_TEXT { LANGUAGE 0 {\n TITLE \"a // b\" } }\nTRACK AUDIO // one\n"
         "FILE \"d.bin\" #0 0 00:00:10\nTRACK MODE1_RAW RW_RAW\nPREGAP 00:02:00\n"
         "DATAFILE \"d.bin\" #23520 00:00:30 // bytes\nTRACK MODE2_FORM1\nZERO 00:00:02\n"
         "DATAFILE \"e.iso\" 00:00:01\nDATAFILE \"f.iso\" 4096\nSTART 00:00:03\n",
         "d.bin@0-23520 2352/0;d.bin@23520-96960 2448/16d;f.iso@0-4096 2048/0d;"},
        // Nothing places what follows a source that runs to its file's end.
        {read_cdrdao_toc, "TRACK MODE1\nDATAFILE \"e.iso\"\nDATAFILE \"f.iso\"\n", "refused"},
        {read_cdrdao_toc, "TRACK AUDIO\nAUDIOFILE \"a.wav\" 588 1176\nTRACK MODE2\nFILE d 00:00:01",
         "a.wav@2352-7056 2352/0;d@2336--1 2336/8d;"},
        {read_cdrdao_toc, "TRACK MODE1\nZERO 00:00:05\n", "refused"},
        {read_cdrdao_toc, "TRACK MODE3\nDATAFILE \"a\"\n", "refused"},
        {read_cdrdao_toc, "TRACK MODE1 RAW\nDATAFILE \"a\"\n", "refused"},
        {read_cdrdao_toc, "TRACK MODE1\nDATAFILE \"a\" #x\n", "refused"},
        {read_cdrdao_toc, "TRACK MODE1\n}\n", "refused"},
    };
    for (const sheet_case& row : table) {
        EXPECT_EQ(shown(row.read(row.text, 0, "")), row.tracks) << row.text;
    }
}

std::string be(std::uint64_t value, int width) {
    std::string bytes;
    for (int i = width - 1; i >= 0; --i) {
        bytes += static_cast<char>(value >> (8 * i) & 0xFF);
    }
    return bytes;
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
    const std::vector<std::pair<std::string, std::string>> table{
        {chunk("CUEX", "x") + chunk("DAOX", two) + chunk("SINF", be(1, 4)) +
             chunk("SINF", be(1, 4)) + chunk("END!", ""),
         "n@352800-705600 2352/0;n@1013800-2000000 2048/0d s2;"},
        {chunk("ETNF", etnf) + chunk("END!", ""), "n@4096-45056 2336/8d;"},
        {chunk("DAOI", dao_head(1) + dao(2448, 0x11, 0, 10, 99, 4)) + chunk("END!", ""),
         "n@10-99 2448/24d;"},
        {chunk("DAOX", two) + chunk("SINF", be(1, 4)) + chunk("END!", ""), "refused"},
        {chunk("DAOI", dao_head(1) + dao(2352, 0, 0, 10, 99, 4)) + chunk("END!", ""), "refused"},
        {chunk("DAOI", dao_head(1) + dao(2048, 0, 20, 10, 99, 4)) + chunk("END!", ""), "refused"},
        {chunk("DAOX", dao_head(1) + dao(2048, 0, 0, 0, 2000001, 8)) + chunk("END!", ""),
         "refused"},
        {chunk("ETNF", etnf + "x") + chunk("END!", ""), "refused"},
        {chunk("ETNF", etnf) + "END!" + be(1, 4), "refused"},
        {chunk("ETNF", etnf), "refused"},
    };
    for (const auto& [chunks, tracks] : table) {
        EXPECT_EQ(shown(read_nero_chunks(chunks, 2000000, "n")), tracks) << tracks;
    }
    EXPECT_FALSE(nero_footer(100, std::string(12, 'x')));
    EXPECT_EQ(nero_footer(100, "xxxxNERO" + be(60, 4))->offset, 60);
    EXPECT_EQ(nero_footer(100, "NER5" + be(64, 8))->length, 36);
    EXPECT_FALSE(trustworthy(*nero_footer(100, "NER5" + be(~0ULL, 8)), 100));
}

}  // namespace

namespace {

struct choice_case {
    track_list tracks;
    std::vector<std::int64_t> marked;  // where "CD001" stands
    std::string chosen;                // as shown(), or the refusal
};

track at(std::int64_t offset, std::int64_t end, std::int32_t size, bool data = true) {
    return {"f", offset, end, {size, data && size > 2048 ? 24 : 0}, data, false, 1};
}

TEST(TrackChoice, TakesTheLastVolumeAndTrustsNoTableBeyondItsFile) {
    const std::int64_t mid = 40 * 2352;
    track raw = at(0, 40 * 2352, 2352);
    raw.mode_from_header = true;
    const std::vector<choice_case> table{
        {{at(0, mid, 2352, false), at(mid, -1, 2048)}, {}, "f@94080-1000000 2048/0d;"},
        {{at(0, mid, 2352), at(mid, -1, 2048)},
         {24 + 16 * 2352 + 1, mid + 16 * 2048 + 1},
         "f@94080-1000000 2048/0d;"},
        {{at(0, mid, 2352), at(mid, -1, 2048)}, {24 + 16 * 2352 + 1}, "f@0-94080 2352/24d;"},
        // A track of 16 sectors has no sector 16: what lies past it is another's.
        {{at(0, mid, 2352), at(mid, mid + 16 * 2048, 2048)},
         {mid + 16 * 2048 + 1},
         "f@0-94080 2352/24d;"},
        {{raw}, {}, "f@0-94080 2352/16d;"},
        {{at(0, mid, 2352, false)}, {}, "unknown image\n"},
        {{at(0, 15 * 2048, 2048)}, {}, "image size is too small\n"},
        {{at(0, mid + 1, 2352, false), at(mid, -1, 2048)}, {}, "unknown image\n"},
        {{at(mid, 1000001, 2048)}, {}, "unknown image\n"},
        {{at(-2048, mid, 2048)}, {}, "unknown image\n"},
    };
    for (const choice_case& row : table) {
        const track_choice got = choose_track(
            row.tracks, {{"f", 1000000}},
            [&row](const std::string&, std::int64_t offset, std::int64_t count) {
                const bool mark = std::count(row.marked.begin(), row.marked.end(), offset) != 0;
                return count == 16
                           ? std::string("\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0\0\2\0\1", 16)
                           : std::string(mark ? "CD001" : "CD002");
            });
        EXPECT_EQ(got.refusal.empty() ? shown(track_list{got.chosen}) : got.refusal, row.chosen);
    }
}

}  // namespace
