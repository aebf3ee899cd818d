#include "sector_layout.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

const std::optional<sector_layout> none;
const std::optional<sector_layout> iso{sector_layout{2048, 0}};
const std::optional<sector_layout> cooked{sector_layout{2336, 8}};
const std::optional<sector_layout> raw{sector_layout{2352, 24}};

struct detection {
    std::int64_t size;
    std::string name;
    std::optional<sector_layout> expected;
};

TEST(DetectSectorLayout, FollowsTheOrderOfTests) {
    const std::vector<detection> table{
        {0, "a.iso", cooked},
        {100, "a.iso", none},
        {100, "a.nrg", cooked},
        {32768, "a.iso", iso},
        {16 * 2352, "a.bin", raw},
        {15 * 2336, "a.iso", cooked},
        {16 * 2048, "a.nrg", cooked},
        {32769, "A.NRG", cooked},
        {32769, "a.Nrg", cooked},
        {32769, "a.nrg.iso", none},
        {32769, "nrg", none},
        {32769, "anrg", none},
        {32769, ".nrg", cooked},
        {32769, "", none},
        {32769, "dir.nrg/a", none},
        {73 * 2048, "a.iso", cooked},
        {147 * 2048, "a.iso", iso},
        {147 * 2336, "a.iso", cooked},
        {-1, "a.iso", none},
        {-1, "a.nrg", cooked},
        {std::int64_t{2300000} * 2048, "big.iso", iso},
        {std::int64_t{2000003} * 2352, "big.bin", raw},
    };
    for (const detection& row : table) {
        EXPECT_EQ(detect_sector_layout(row.size, row.name.c_str()), row.expected)
            << row.size << " " << row.name;
    }
}

TEST(DetectSectorLayout, ReadsNothingBeforeAShortPath) {
    // A heap block of exactly the path: under AddressSanitizer a look before
    // its first byte lands in the redzone and fails the test.
    const std::vector<char> path{'n', 'r', 'g', '\0'};
    EXPECT_EQ(detect_sector_layout(32769, path.data()), none);
}

struct settlement {
    std::int64_t size;
    std::string name;
    std::set<std::int64_t> marked;  // offsets that hold "CD001"
    std::optional<sector_layout> expected;
};

// Where "CD001" sits for each layout: byte 1 of logical sector 16.
constexpr std::int64_t at_iso = 16 * 2048 + 1;
constexpr std::int64_t at_cooked = 8 + 16 * 2336 + 1;
constexpr std::int64_t at_raw = 24 + 16 * 2352 + 1;

TEST(SettleSectorLayout, LetsTheVolumeDescriptorBreakTies) {
    const std::vector<settlement> table{
        {73 * 2048, "a.iso", {at_iso}, iso},
        {73 * 2048, "a.iso", {}, cooked},
        {73 * 2048, "a.iso", {at_iso, at_cooked}, cooked},
        {73 * 2048, "a.iso", {at_raw}, cooked},
        {128 * 2352, "a.bin", {at_raw}, raw},
        {128 * 2352, "a.bin", {}, iso},
        {147 * 2336, "a.bin", {at_raw}, raw},
        {20 * 2048, "a.nrg", {at_iso}, iso},
        {20 * 2352, "a.NRG", {at_raw}, raw},
        {20 * 2352, "a.nrg", {}, cooked},
        {0, "a.iso", {}, cooked},
        {100, "a.iso", {at_iso, at_cooked, at_raw}, none},
        {147 * 2048, "a.nrg", {at_iso, at_raw}, cooked},
    };
    for (const settlement& row : table) {
        const auto holds = [&row](std::int64_t offset) { return row.marked.count(offset) > 0; };
        EXPECT_EQ(settle_sector_layout(row.size, row.name.c_str(), holds), row.expected)
            << row.size << " " << row.name;
    }
}

TEST(SettleSectorLayout, LooksAtNothingWhenOneLayoutFits) {
    const auto never = [](std::int64_t) -> bool {
        ADD_FAILURE() << "looked at the image without a choice to make";
        return false;
    };
    EXPECT_EQ(settle_sector_layout(20 * 2048, "a.iso", never), iso);
    EXPECT_EQ(settle_sector_layout(100, "a.iso", never), none);
}

}  // namespace
