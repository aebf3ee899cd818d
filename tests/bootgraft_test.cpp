// The built tool, run on real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tool_process.hpp"

namespace fs = std::filesystem;

namespace {

struct layout {
    std::int64_t sector_size;
    std::int64_t data_offset;
};
constexpr layout iso{2048, 0};
constexpr layout cooked{2336, 8};
constexpr layout raw{2352, 24};

const std::string usage =
    "bootgraft <imagefile> <ipgefile>\n patch first 16 sector of cd image\n"
    " support 2048/2336/2352 iso image\n";

// Bytes that differ from their neighbours and from sector to sector, so a
// misplaced or missing chunk cannot pass for the right one.
std::string pattern(std::int64_t length, unsigned step) {
    std::string bytes(static_cast<std::size_t>(length), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * step + i / 251) % 255 + 1);
    }
    return bytes;
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const fs::path& path, std::uintmax_t at_most = UINTMAX_MAX) {
    std::string bytes(std::min(fs::file_size(path), at_most), '\0');
    std::ifstream(path, std::ios::binary)
        .read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void plant_cd001(std::string& image, layout under) {
    image.replace(static_cast<std::size_t>(under.data_offset + 16 * under.sector_size + 1), 5,
                  "CD001");
}

// The image as it must read after a patch: each chunk in its place, zeros
// where the file had to grow, every other byte as it was.
std::string patched(std::string image, const std::string& ip, layout used) {
    const std::int64_t end = used.data_offset + 15 * used.sector_size + 2048;
    if (static_cast<std::int64_t>(image.size()) < end) {
        image.resize(static_cast<std::size_t>(end), '\0');
    }
    for (std::int64_t i = 0; i < 16; ++i) {
        image.replace(static_cast<std::size_t>(used.data_offset + i * used.sector_size), 2048,
                      ip.substr(static_cast<std::size_t>(i * 2048), 2048));
    }
    return image;
}

std::string sector_line(layout used) {
    return "sector size:" + std::to_string(used.sector_size) + "\n";
}

class Bootgraft : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / (std::string("bootgraft-") + test->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        // A space and letters beyond any ANSI code page, in every run.
        ip = dir / fs::u8path("boot ip загрузчик.bin");
        write_file(ip, ip_bytes);
    }
    void TearDown() override { fs::remove_all(dir); }

    [[nodiscard]] tool_run patch(const fs::path& image, const run_limits& limits = {}) const {
        return run_tool({image.u8string(), ip.u8string()}, limits);
    }

    fs::path dir;
    fs::path ip;
    const std::string ip_bytes = pattern(32768, 97);
};

TEST_F(Bootgraft, PrintsUsageForAnyOtherArgumentCount) {
    const fs::path image = dir / "img.iso";
    const std::string original = pattern(20 * 2048, 7);
    write_file(image, original);
    const std::vector<std::vector<std::string>> calls{{},
                                                      {image.u8string()},
                                                      {image.u8string(), ip.u8string(), "x"},
                                                      {image.u8string(), ip.u8string(), "x", "y"}};
    for (const auto& args : calls) {
        const tool_run run = run_tool(args);
        EXPECT_EQ(run.status, tool_failure_status) << args.size();
        EXPECT_EQ(run.out, usage);
        EXPECT_EQ(run.err, "");
    }
    EXPECT_EQ(read_file(image), original);
}

struct success {
    std::string name;
    std::int64_t size;
    std::vector<layout> descriptors;  // layouts under which "CD001" is planted
    layout expected;
};

TEST_F(Bootgraft, WritesEachChunkIntoItsSectorAndNothingElse) {
    const std::vector<success> table{
        {"exact.iso", 32768, {}, iso},
        {"plain.iso", 20 * 2048, {}, iso},
        {"raw.bin", 20 * 2352, {}, raw},
        {"cooked.bin", 20 * 2336, {}, cooked},
        {"named.nrg", 20 * 2048, {}, cooked},
        {"odd.NRG", 32769, {}, cooked},
        {"short.bin", 14 * 2352, {}, raw},
        {"short.nrg", 14 * 2352, {}, cooked},
        {"short.iso", 15 * 2336, {}, cooked},
        // Lengths that fit two layouts: the volume descriptor decides.
        {"iso73.iso", 73 * 2048, {iso}, iso},
        {"iso73bare.iso", 73 * 2048, {}, cooked},
        {"iso73both.iso", 73 * 2048, {iso, cooked}, cooked},
        {"raw128.bin", 128 * 2352, {raw}, raw},
        {"raw128bare.bin", 128 * 2352, {}, iso},
        {"raw146.bin", 146 * 2352, {raw}, raw},
        {"iso.nrg", 20 * 2048, {iso}, iso},
        // Names as users give them; the ".nrg" rule reads the last four bytes.
        {"my disc.iso", 20 * 2048, {}, iso},
        {"ディスク.iso", 20 * 2048, {}, iso},
        {"образ.bin", 20 * 2352, {}, raw},
        {"диск.NRG", 20 * 2048, {}, cooked},
    };
    for (const success& row : table) {
        const fs::path image = dir / fs::u8path(row.name);
        std::string original = pattern(row.size, 7);
        for (const layout under : row.descriptors) {
            plant_cd001(original, under);
        }
        write_file(image, original);
        const tool_run run = patch(image);
        EXPECT_EQ(run.status, 0) << row.name;
        EXPECT_EQ(run.out, sector_line(row.expected)) << row.name;
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(read_file(image) == patched(original, ip_bytes, row.expected)) << row.name;
    }
}

// Over 4 GiB, sparse: lengths and positions must not wrap at 32 bits.
TEST_F(Bootgraft, PatchesImagesPastFourGibibytes) {
    const std::vector<success> table{
        {"big.iso", std::int64_t{2300000} * 2048, {}, iso},
        {"big.bin", std::int64_t{2000003} * 2352, {}, raw},
    };
    for (const success& row : table) {
        const fs::path image = dir / row.name;
        const std::string head = pattern(65536, 7);
        write_file(image, head);
        fs::resize_file(image, static_cast<std::uintmax_t>(row.size));
        const tool_run run = patch(image);
        EXPECT_EQ(run.status, 0) << row.name;
        EXPECT_EQ(run.out, sector_line(row.expected)) << row.name;
        EXPECT_EQ(fs::file_size(image), static_cast<std::uintmax_t>(row.size));
        EXPECT_TRUE(read_file(image, 65536) == patched(head, ip_bytes, row.expected)) << row.name;
        fs::remove(image);
    }
}

struct refusal {
    std::int64_t ip_size;     // -1: no ip file
    std::int64_t image_size;  // -1: no image
    std::string image_name;
    std::string message;  // {image} and {ip} stand for the paths
};

std::string with_paths(std::string message, const fs::path& image, const fs::path& ip) {
    for (const auto& [mark, path] : {std::pair{"{image}", image}, std::pair{"{ip}", ip}}) {
        const auto at = message.find(mark);
        if (at != std::string::npos) {
            message.replace(at, std::string(mark).size(), path.u8string());
        }
    }
    return message;
}

TEST_F(Bootgraft, RefusesBeforeWritingAnything) {
    const std::vector<refusal> table{
        {-1, 32768, "a.iso", "can't open ip({ip})\n"},
        {32767, 32768, "b.iso", "ip size is not 32768\n"},
        {32769, -1, "c.iso", "ip size is not 32768\n"},
        {32768, -1, "d.iso", "can't open image({image})\n"},
        {32768, 100, "e.iso", "unknown image\n"},
        {32768, 32769, "f.iso", "unknown image\n"},
        {32768, 0, "g.iso", "image size is too small\n"},
        {32768, 2048, "h.iso", "image size is too small\n"},
        {32768, 14 * 2336, "i.iso", "image size is too small\n"},
        {32768, 100, "j.nrg", "image size is too small\n"},
        {32768, 32767, "k.nrg", "image size is too small\n"},
        {-1, 32768, "образ ip.iso", "can't open ip({ip})\n"},
        {32768, -1, "нет ディスク.iso", "can't open image({image})\n"},
    };
    for (const refusal& row : table) {
        const fs::path image = dir / fs::u8path(row.image_name);
        const fs::path ip_here = dir / fs::u8path(row.image_name + ".ip");
        const std::string original = pattern(std::max<std::int64_t>(row.image_size, 0), 7);
        if (row.image_size >= 0) {
            write_file(image, original);
        }
        if (row.ip_size >= 0) {
            write_file(ip_here, pattern(row.ip_size, 97));
        }
        const tool_run run = run_tool({image.u8string(), ip_here.u8string()});
        EXPECT_EQ(run.status, tool_failure_status) << row.image_name;
        EXPECT_EQ(run.out, with_paths(row.message, image, ip_here)) << row.image_name;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(fs::exists(image), row.image_size >= 0) << row.image_name;
        EXPECT_TRUE(row.image_size < 0 || read_file(image) == original) << row.image_name;
    }
}

TEST_F(Bootgraft, RefusesAReadOnlyImage) {
    const fs::path image = dir / "locked.iso";
    const std::string original = pattern(20 * 2048, 7);
    write_file(image, original);
    fs::permissions(image, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const tool_run run = patch(image, {-1, true});
    EXPECT_EQ(run.status, tool_failure_status);
    EXPECT_EQ(run.out, "can't open image(" + image.u8string() + ")\n");
    EXPECT_EQ(read_file(image), original);
    // Writable again for TearDown: Windows refuses to delete a read-only file.
    fs::permissions(image, fs::perms::owner_write, fs::perm_options::add);
}

// A file-size limit makes the writes past the old end fail for real.
TEST_F(Bootgraft, ReportsAFailedWriteAndKeepsTheLength) {
    if (!can_limit_file_size) {
        GTEST_SKIP() << "no per-process file-size limit here to make a write fail";
    }
    const std::int64_t length = 14 * 2352;
    for (const std::int64_t limit : {length, length + 1000}) {
        const fs::path image = dir / ("short" + std::to_string(limit) + ".bin");
        write_file(image, pattern(length, 7));
        const tool_run run = patch(image, {limit, false});
        EXPECT_EQ(run.status, tool_failure_status) << limit;
        EXPECT_EQ(run.out, sector_line(raw) + "can't write image(" + image.u8string() + ")\n");
        EXPECT_EQ(fs::file_size(image), static_cast<std::uintmax_t>(length)) << limit;
    }
}

// As in `bootgraft disc.iso ip.bin | head -c 0`: the reader is gone before
// the tool says a word, yet the patch is made and the status says so.
TEST_F(Bootgraft, FinishesThePatchWhenNobodyReadsItsOutput) {
    const fs::path image = dir / "unread.iso";
    const std::string original = pattern(20 * 2048, 7);
    write_file(image, original);
    const tool_run run = patch(image, {-1, false, true});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(read_file(image) == patched(original, ip_bytes, iso));
}

}  // namespace
