// Tables for the sector rules: the layout an image is read with, the codes of a raw sector, and
// the first 16 sectors once the ip file is in them.
#include <gtest/gtest.h>

#include <algorithm>

#include "sectors/block_patch.hpp"
#include "sectors/sector_codes.hpp"
#include "support.hpp"

namespace {

struct detection {
    std::int64_t size;
    std::string name;
    std::string_view first_bytes;       // views, so that a look past their end finds more
    std::vector<sector_layout> marked;  // layouts under which "CD001" stands
    std::optional<sector_layout> expected;
};

TEST(DetectSectorLayout, FollowsLengthNameAndVolumeDescriptor) {
    const std::vector<detection> table{
        {0, "a.iso", "", {}, cooked},
        {-1, "a.iso", "", {}, std::nullopt},
        {100, "a.nrg", "", {}, cooked},
        {16 * 2352, "a.bin", mode1, {}, raw1},
        {16 * 2352, "a.bin", mode2, {}, raw},
        {16 * 2352, "a.bin", std::string_view(mode1).substr(0, 15), {}, raw},
        {16 * 2352, "a.bin", unsynced, {}, raw},
        {32769, "A.NRG", "", {}, cooked},
        {32769, ".nrg", "", {}, cooked},
        {32769, "a.nrg.iso", "", {iso}, std::nullopt},
        {32769, "anrg", "", {}, std::nullopt},
        {32769, "a.nrg", "", {iso, raw}, cooked},
        {73 * 2048, "a.iso", "", {raw}, cooked},
        {147 * 2048, "a.iso", "", {}, iso},
        {147 * 2336, "a.iso", "", {raw}, raw},
        {128 * 2352, "a.bin", mode1, {raw1}, raw1},
        {128 * 2352, "a.bin", mode1, {raw}, iso},
        {32769, "a.nrg", "", {iso}, iso},
        {32769, "a.nrg", mode1, {raw1}, raw1},
        {128 * 2448, "a.nrg", subchannel, {iso}, sector_layout{2448, 16}},
        {128 * 2448, "a.bin", second_synced, {}, iso},
        {128 * 2448, "a.bin", std::string_view(subchannel).substr(0, 2459), {}, iso},
        {128 * 2448 + 2048, "a.bin", subchannel, {}, iso},
    };
    for (const detection& row : table) {
        const auto holds = [&row](std::int64_t offset) {
            return std::any_of(row.marked.begin(), row.marked.end(), [offset](sector_layout l) {
                return offset == l.data_offset + 16 * l.sector_size + 1;
            });
        };
        EXPECT_EQ(detect_sector_layout(row.size, row.name.c_str(), row.first_bytes, holds),
                  row.expected)
            << row.size << " " << row.name;
    }
}

TEST(DetectSectorLayout, ReadsNothingItNeedsNot) {
    const auto never = [](std::int64_t) { return ADD_FAILURE() << "probed a sure layout", false; };
    // A heap block of exactly the path: under AddressSanitizer a look before
    // its first byte lands in the redzone.
    const std::vector<char> path{'n', 'r', 'g', '\0'};
    EXPECT_EQ(detect_sector_layout(20 * 2048, path.data(), "", never), iso);
}

// No packaged program here writes raw Mode 1 with codes: these answers were
// worked out apart from this code, by solving each vector's check equations
// by search, from the same definitions that reproduce vcdimager's sectors.
TEST(SectorCodes, KnowsAMode1Sector) {
    raw_sector sector{};
    const std::string bytes = mode1 + pattern(2048, 5);
    std::copy(bytes.begin(), bytes.end(), sector.begin());
    write_codes(sector, true);
    const std::string codes(sector.begin() + 2064, sector.end());
    EXPECT_EQ(codes.substr(0, 16),
              std::string("\x89\x4C\xAE\x14\0\0\0\0\0\0\0\0\xC0\x1F\xD2\xCB", 16));
    EXPECT_EQ(codes.substr(176, 16),
              "\x68\xDD\x8A\x6C\xE7\x47\xD4\x40\x4D\x61\x9D\xB6\xF6\x7B\x7A\x4A");
    EXPECT_EQ(codes.substr(280), "\xA4\xC8\xEF\x0F\x65\xD6\xD0\x43");
}

enum class fill { zeros, noise, live };  // noise: codes that do not match

struct block_case {
    sector_layout layout;
    std::string head;  // sync and header, where the sectors have them
    std::uint8_t submode;
    fill from_data;
    std::size_t sectors;  // stored before the patch; fewer than 16 grow
};

TEST(PatchBlock, PlacesTheIpAndKeepsLiveCodesLive) {
    // clang-format off
    const std::vector<block_case> table{
        {iso, "", 0, fill::noise, 16},      {raw, "", 0, fill::noise, 16},
        {cooked, "", 0, fill::zeros, 16},   {raw, mode2, 8, fill::zeros, 16},
        {raw1, mode1, 0, fill::zeros, 16},  {raw1, mode1, 0, fill::live, 16},
        {cooked, "", 0x20, fill::live, 16},
        {raw, mode2, 0x08, fill::live, 14}, {cooked, "", 0, fill::noise, 15},
        {{2448, 24}, mode2, 0x08, fill::live, 16}, {{2368, 16}, mode1, 0, fill::live, 16},
    };
    // clang-format on
    const std::string ip = pattern(32768, 97);
    for (const block_case& c : table) {
        // A stored sector's framed part lies at the end of the raw one; subchannel bytes follow.
        const auto size = static_cast<std::size_t>(
            c.layout.data_offset == 0 ? c.layout.sector_size : framed_size(c.layout));
        const std::string sub(static_cast<std::size_t>(c.layout.sector_size) - size, 'S');
        const std::size_t data = 2352 - size + static_cast<std::size_t>(c.layout.data_offset);
        std::string block;
        std::string expected;
        for (std::size_t i = 0; i < 16; ++i) {
            raw_sector sector{};
            if (i < c.sectors) {
                std::copy(c.head.begin(), c.head.end(), sector.begin());
                sector[18] = sector[22] = c.submode;
                const std::string filler =
                    c.from_data != fill::zeros ? pattern(2352 - data, 3 + i) : "";
                std::copy(filler.begin(), filler.end(), sector.begin() + data);
                if (c.from_data == fill::live) {
                    write_codes(sector, is_mode1(c.layout));
                }
                block.append(sector.end() - size, sector.end()) += sub;
            }
            std::copy_n(ip.data() + 2048 * i, 2048, sector.begin() + data);
            if (c.from_data == fill::live && i < c.sectors) {
                write_codes(sector, is_mode1(c.layout));
            }
            expected.append(sector.end() - size, sector.end()) += sub;
        }
        const auto end = c.layout.data_offset + 15 * c.layout.sector_size + 2048;
        expected.resize(std::max(block.size(), static_cast<std::size_t>(end)));
        EXPECT_TRUE(patch_block(block, c.layout, ip) == expected)
            << c.layout.sector_size << " " << c.head.size() << " " << c.sectors;
    }
}

}  // namespace
