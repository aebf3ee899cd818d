// The pure decisions, in-process: which layout, and what the first 16
// sectors hold after the patch.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "block_patch.hpp"
#include "sector_codes.hpp"

namespace {

constexpr sector_layout iso{2048, 0};
constexpr sector_layout cooked{2336, 8};
constexpr sector_layout raw{2352, 24};
constexpr sector_layout raw1{2352, 16};
const std::optional<sector_layout> none;

const std::string sync("\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0", 12);
const std::string mode1 = sync + std::string("\0\2\0\1", 4);
const std::string mode2 = sync + std::string("\0\2\0\2", 4);

struct detection {
    std::int64_t size;
    std::string name;
    std::string first_bytes;
    std::vector<sector_layout> marked;  // layouts under which "CD001" stands
    std::optional<sector_layout> expected;
};

TEST(DetectSectorLayout, FollowsLengthNameAndVolumeDescriptor) {
    const std::vector<detection> table{
        {0, "a.iso", "", {}, cooked},
        {100, "a.iso", "", {}, none},
        {-1, "a.iso", "", {}, none},
        {100, "a.nrg", "", {}, cooked},
        {-1, "a.nrg", "", {}, cooked},
        {32768, "a.iso", "", {}, iso},
        {16 * 2352, "a.bin", "", {}, raw},
        {16 * 2352, "a.bin", mode1, {}, raw1},
        {16 * 2352, "a.bin", mode2, {}, raw},
        {16 * 2352, "a.bin", mode1.substr(0, 15), {}, raw},
        {16 * 2352, "a.bin", "\1" + mode1.substr(1), {}, raw},
        {15 * 2336, "a.iso", mode1, {}, cooked},
        {16 * 2048, "a.nrg", "", {}, cooked},
        {32769, "A.NRG", "", {}, cooked},
        {32769, "a.Nrg", "", {}, cooked},
        {32769, ".nrg", "", {}, cooked},
        {32769, "a.nrg.iso", "", {iso}, none},
        {32769, "anrg", "", {}, none},
        {32769, "", "", {}, none},
        {32769, "dir.nrg/a", "", {}, none},
        {73 * 2048, "a.iso", "", {}, cooked},
        {73 * 2048, "a.iso", "", {iso}, iso},
        {73 * 2048, "a.iso", "", {iso, cooked}, cooked},
        {73 * 2048, "a.iso", "", {raw}, cooked},
        {147 * 2048, "a.iso", "", {}, iso},
        {147 * 2336, "a.iso", "", {raw}, raw},
        {128 * 2352, "a.bin", "", {raw}, raw},
        {128 * 2352, "a.bin", mode1, {raw1}, raw1},
        {128 * 2352, "a.bin", mode1, {raw}, iso},
        {32769, "a.nrg", "", {iso}, iso},
        {32769, "a.nrg", mode1, {raw1}, raw1},
        {20 * 2352, "a.nrg", "", {raw}, raw},
        {147 * 2048, "a.nrg", "", {iso, raw}, cooked},
        {std::int64_t{2300000} * 2048, "big.iso", "", {}, iso},
        {std::int64_t{2000003} * 2352, "big.bin", "", {}, raw},
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
    const auto never = [](std::int64_t) -> bool {
        ADD_FAILURE() << "looked at the image without a choice to make";
        return false;
    };
    EXPECT_EQ(detect_sector_layout(20 * 2048, "a.iso", "", never), iso);
    EXPECT_EQ(detect_sector_layout(100, "a.iso", "", never), none);
    // A heap block of exactly the path: under AddressSanitizer a look before
    // its first byte lands in the redzone.
    const std::vector<char> path{'n', 'r', 'g', '\0'};
    EXPECT_EQ(detect_sector_layout(32769, path.data(), "", never), none);
}

std::string pattern(std::size_t length, std::size_t step) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((i * step + i / 251) % 255 + 1);
    }
    return bytes;
}

struct block_case {
    sector_layout layout;
    std::string head;  // sync and header, where the sectors have them
    std::uint8_t submode;
    bool data;            // the user data and all after it filled, or zero
    bool live;            // with codes that match
    std::size_t sectors;  // stored before the patch; fewer than 16 grow
};

// A stored sector lies at the end of the raw one.
std::size_t lead(sector_layout layout) {
    return 2352 - static_cast<std::size_t>(layout.sector_size);
}
std::string stored(const raw_sector& sector, sector_layout layout) {
    return {sector.begin() + lead(layout), sector.end()};
}

TEST(PatchBlock, PlacesTheIpAndKeepsLiveCodesLive) {
    const std::vector<block_case> table{
        {iso, "", 0, true, false, 16},      {raw, "", 0, true, false, 16},
        {cooked, "", 0, false, false, 16},  {raw, mode2, 8, false, false, 16},
        {raw1, mode1, 0, false, false, 16}, {raw1, mode1, 0, true, true, 16},
        {raw, mode2, 0x08, true, true, 16}, {raw, mode2, 0x28, true, true, 16},
        {cooked, "", 0x08, true, true, 16}, {cooked, "", 0x20, true, true, 16},
        {raw, mode2, 0x08, true, true, 14}, {cooked, "", 0, true, false, 15},
    };
    const std::string ip = pattern(32768, 97);
    for (const block_case& c : table) {
        const std::size_t data = lead(c.layout) + static_cast<std::size_t>(c.layout.data_offset);
        std::string block;
        std::string expected;
        for (std::size_t i = 0; i < 16; ++i) {
            raw_sector sector{};
            if (i < c.sectors) {
                std::copy(c.head.begin(), c.head.end(), sector.begin());
                sector[18] = sector[22] = c.submode;
                const std::string filler = c.data ? pattern(2352 - data, 3 + i) : "";
                std::copy(filler.begin(), filler.end(), sector.begin() + data);
                if (c.live) {
                    write_codes(sector, is_mode1(c.layout));
                }
                block += stored(sector, c.layout);
            }
            std::copy_n(ip.data() + 2048 * i, 2048, sector.begin() + data);
            if (c.live && i < c.sectors) {
                write_codes(sector, is_mode1(c.layout));
            }
            expected += stored(sector, c.layout);
        }
        const auto end = c.layout.data_offset + 15 * c.layout.sector_size + 2048;
        expected.resize(std::max(block.size(), static_cast<std::size_t>(end)));
        EXPECT_TRUE(patch_block(block, c.layout, ip) == expected)
            << c.layout.sector_size << " " << c.head.size() << " " << c.sectors;
        EXPECT_EQ(block_length(c.layout, 40000), std::min(40000, 16 * c.layout.sector_size));
    }
}

}  // namespace
