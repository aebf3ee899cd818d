// Tables for the descriptors: CloneCD, Alcohol and DiscJuggler.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "alcohol_image.hpp"
#include "clonecd_image.hpp"
#include "discjuggler_image.hpp"

namespace {

// Every track as "file offset-end size+data_offset kind session; ", so one line checks a table.
std::string rows(const std::optional<track_list>& tracks) {
    std::ostringstream out;
    for (const track& t : tracks.value_or(track_list{})) {
        out << t.file << ' ' << t.offset << '-' << t.end << ' ' << t.layout.sector_size << '+'
            << t.layout.data_offset
            << (t.mode_from_header ? " header "
                : t.data           ? " data "
                                   : " audio ")
            << t.session << "; ";
    }
    return tracks ? out.str() : "none";
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

std::string patched(std::string table, std::size_t at, std::uint64_t value, int width) {
    return table.replace(at, static_cast<std::size_t>(width), bytes({{value, width}}));
}

void expect_refused(table_reader read, const std::vector<std::string>& tables) {
    for (std::size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(rows(read(tables[i], std::int64_t{1} << 40, "x.img")), "none") << "case " << i;
    }
}

std::string entry(int session, const std::string& point, int control, const std::string& at) {
    return "[Entry]\r\nSession=" + std::to_string(session) + "\r\nPoint=" + point +
           "\r\nADR=0x01\r\nControl=0x0" + std::to_string(control) + "\r\n" + at + "\r\n";
}

// Entries {session, mode, point, size, LBA, offset}, sorted by session; `ends` holds each
// session's end, and every entry names `name`.
std::string mds(const std::vector<std::array<std::uint64_t, 6>>& entries,
                const std::vector<std::uint64_t>& ends, const std::string& name, int utf16) {
    const std::uint64_t first = 88 + 24 * ends.size();
    const std::uint64_t names = first + 80 * entries.size();
    std::string m = "MEDIA DESCRIPTOR" + bytes({{1, 4}, {ends.size(), 2}, {0, 58}, {88, 8}});
    for (std::uint64_t s = 1, before = 0; s <= ends.size(); ++s) {
        const auto in = static_cast<std::uint64_t>(std::count_if(
            entries.begin(), entries.end(), [s](const auto& e) { return e[0] == s; }));
        m += bytes({{0, 4}, {ends[s - 1], 4}, {s, 2}, {in, 10}, {first + 80 * before, 4}});
        before += in;
    }
    for (const auto& [session, mode, point, size, lba, offset] : entries) {
        m += bytes({{mode, 4}, {point, 12}, {size, 20}, {lba, 4}, {offset, 12}, {names, 28}});
    }
    return m + bytes({{names + 16, 4}, {static_cast<std::uint64_t>(utf16), 12}}) + name;
}

std::string cdi_track(std::uint64_t mode, std::uint64_t size_code, std::uint64_t pregap,
                      std::uint64_t length, bool since_3_0) {
    const std::string mark("\0\0\x01\0\0\0\xFF\xFF\xFF\xFF", 10);
    return bytes({{0, 4}}) + mark + mark + bytes({{0, 4}, {4, 1}}) + "name" +
           bytes({{0, 11}, {2, 4}, {0, 4}, {1000, 4}, {2, 2}, {pregap, 4}, {length, 4}}) +
           bytes({{0, 6}, {mode, 16}, {150, 4}, {pregap + length, 20}, {size_code, 33}}) +
           (since_3_0 ? bytes({{0, 5}, {0xFFFFFFFF, 4}, {0, 78}}) : "");
}

// The sessions' track blocks and trailers, the closing session, a disc block and the footer.
std::string cdi(std::uint64_t version, const std::vector<std::vector<std::string>>& sessions) {
    std::string d = bytes({{sessions.size(), 2}});
    for (const auto& blocks : sessions) {
        d += bytes({{blocks.size(), 2}});
        for (const std::string& b : blocks) {
            d += b;
        }
        d += bytes({{0, version == 0x80000004 ? 12 : 13}});
    }
    return d + bytes({{0, 22}, {version, 4}, {d.size() + 30, 4}});
}

}  // namespace

TEST(CloneCdDescriptor, SessionsLieBackToBack) {
    // Audio track 1, lead-out at 1000; Mode 1 track 2 at 12400, track 3 at 2:50:00 (12600).
    const std::string audio = entry(1, "0xa0", 0, "PLBA=4350") + entry(1, "0x01", 0, "PLBA=0") +
                              entry(1, "0xA2", 0, "PLBA=1000");
    const std::string data =
        entry(2, "0x02", 4, "PLBA=12400") + entry(2, "0x03", 4, "pmin=2\npsec=50\npframe=0");
    const std::string disc = audio + data + entry(2, "0xa2", 4, "PLBA=12900");
    EXPECT_EQ(rows(read_clonecd("\xEF\xBB\xBF[CloneCD]\r\nVersion=3\r\n" + disc +
                                    "[TRACK 2]\nMODE=1\n[track 3]\nmode=2\n",
                                0, "My Disc.CCD")),
              "My Disc.img 0-2352000 2352+0 audio 1; My Disc.img 2352000-2822400 2352+16 data 2; "
              "My Disc.img 2822400-3528000 2352+24 data 2; ");
    // Version 2 names no modes: the tracks' headers will.
    EXPECT_EQ(rows(read_clonecd(disc, 0, "d.ccd")),
              "d.img 0-2352000 2352+0 audio 1; d.img 2352000-2822400 2352+24 header 2; "
              "d.img 2822400-3528000 2352+24 header 2; ");
    expect_refused(read_clonecd,
                   {"[Disc]\nDataTracksScrambled=1\n" + disc, audio + data,
                    audio + data + entry(2, "0xa2", 4, "PLBA=12500"),
                    entry(1, "0x01", 0, "PLBA=-5") + entry(1, "0xa2", 0, "PLBA=9"),
                    entry(1, "0x01", 0, "PMin=0\nPSec=1\nPFrame=0") + entry(1, "0xa2", 0, "PLBA=9"),
                    entry(1, "0x01", 0, "") + entry(1, "0xa2", 0, "PLBA=9"),
                    audio + entry(1, "0x01", 0, "PLBA=500"), disc + "[TRACK 2]\nMODE=0\n", ""});
}

TEST(AlcoholDescriptor, TracksLieWhereTheirEntriesSay) {
    // A table entry and audio track 1 ending at 1000; Mode 1 track 2 and Mode 2 Form 1
    // track 3 ending at 12900, stored right after session 1.
    const std::string disc = mds({{1, 0, 0xA0, 0, 0, 0},
                                  {1, 0xA9, 1, 2352, 0, 0},
                                  {2, 0xAA, 2, 2352, 12400, 2352000},
                                  {2, 0xEC, 3, 2352, 12600, 2822400}},
                                 {1000, 12900}, std::string("*.MDF\0", 6), 0);
    EXPECT_EQ(rows(read_alcohol(disc, 0, "My Disc.mds")),
              "My Disc.mdf 0-2352000 2352+0 audio 1; My Disc.mdf 2352000-2822400 2352+16 data 2; "
              "My Disc.mdf 2822400-3528000 2352+24 data 2; ");
    // U+00E9 and U+1D11E (a surrogate pair), then ".mdf"; 96 bytes of subchannel a sector.
    const std::string name("\xE9\0\x34\xD8\x1E\xDD.\0m\0d\0f\0\0\0", 16);
    const std::string wide =
        mds({{1, 0xAA, 1, 2448, 0, 0}, {1, 0xAD, 2, 2448, 300, 734400}}, {400}, name, 1);
    EXPECT_EQ(rows(read_alcohol(wide, 0, "a.mds")),
              "\xC3\xA9\xF0\x9D\x84\x9E.mdf 0-734400 2448+16 data 1; "
              "\xC3\xA9\xF0\x9D\x84\x9E.mdf 734400-979200 2448+0 audio 1; ");
    // Cut short, version 2, sessions, session table, entries and offset out of reach, mode 0xE,
    // half a surrogate pair, Mode 1 in 2336 bytes, a track after its session's end.
    const std::string plain{'a', '\0'};
    expect_refused(read_alcohol,
                   {disc.substr(0, 300), patched(disc, 16, 2, 1), patched(disc, 0x14, 60, 2),
                    patched(disc, 0x50, 0xFFFFFFF0, 4), patched(disc, 88 + 10, 250, 1),
                    patched(disc, 136 + 160 + 0x28, std::uint64_t{1} << 62, 8),
                    patched(disc, 136 + 80, 0xAE, 1),
                    mds({{1, 0xAA, 1, 2448, 0, 0}}, {300}, std::string("\x34\xD8.\0\0\0", 6), 1),
                    mds({{1, 0xAA, 1, 2336, 0, 0}}, {300}, plain, 0),
                    mds({{1, 0xAA, 1, 2352, 500, 0}}, {300}, plain, 0)});
}

TEST(DiscJugglerDescriptor, TracksFollowOneAnother) {
    for (const bool newer : {false, true}) {
        const auto disc = [newer](std::uint64_t version) {
            return cdi(version,
                       {{cdi_track(0, 2, 150, 1000, newer)}, {cdi_track(1, 0, 150, 500, newer)}});
        };
        // 150 + 1000 sectors of 2352 bytes, then 150 + 500 of 2048.
        const std::int64_t end = 4036000;
        const std::string own = disc(newer ? 0x80000006 : 0x80000004);
        EXPECT_EQ(rows(read_discjuggler(own, end, "g.cdi")),
                  "g.cdi 352800-2704800 2352+0 audio 1; g.cdi 3012000-4036000 2048+0 data 2; ");
        // Past the descriptor's start, or read with the other version's block layout.
        EXPECT_FALSE(read_discjuggler(own, end - 1, "g.cdi"));
        EXPECT_FALSE(read_discjuggler(disc(newer ? 0x80000004 : 0x80000006), end, "g.cdi"));
    }
    const std::string one = cdi(0x80000006, {{cdi_track(2, 2, 0, 100, true)}});
    ASSERT_TRUE(read_discjuggler(one, 235200, "g.cdi"));
    // Cut short; a mark, the CD-Text count, the mode, the size code, the session count; 100 tracks.
    expect_refused(
        read_discjuggler,
        {one.substr(0, 60) + one.substr(one.size() - 8), patched(one, 12, 7, 1),
         patched(one, 70, 0xFFFFFFFF, 4), patched(one, 76, 3, 4), patched(one, 116, 5, 4),
         patched(one, 0, 5, 2), cdi(0x80000006, {std::vector(100, cdi_track(0, 2, 0, 1, true))})});
}

TEST(DiscJugglerDescriptor, FooterPlacesTheDescriptor) {
    // 2.0 and 3.0 give the descriptor's start, 3.5 its length from the end; -1 refuses.
    const auto start = [](std::uint64_t version, std::uint64_t x, std::size_t tail = 12) {
        const std::string footer = "tail" + bytes({{version, 4}, {x, 4}});
        const auto span = discjuggler_footer(10000, footer.substr(12 - tail));
        return span && span->length == 10000 - span->offset ? span->offset : -1;
    };
    EXPECT_EQ(
        (std::vector{start(0x80000004, 9000), start(0x80000005, 9000), start(0x80000006, 1000),
                     start(0x80000007, 1000), start(0x80000006, 20000), start(0x80000004, 9995),
                     start(0x80000006, 1000, 8)}),
        (std::vector<std::int64_t>{9000, 9000, 9000, -1, -1, -1, -1}));
}
