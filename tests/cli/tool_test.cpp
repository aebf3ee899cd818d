// The built tool run as users run it: through the shell, on real files,
// with Unicode in their names.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <tuple>

#include "cli/tool_run.hpp"
#include "platform/rename_fallback.hpp"
#include "sectors/block_patch.hpp"

namespace fs = std::filesystem;

namespace {

struct outcome {
    std::string name;
    std::int64_t size;            // -1: no such image
    sector_layout cd001;          // where "CD001" stands, if anywhere
    std::string said;             // "@" stands for the image's path
    sector_layout patched_as;     // {0, 0}: refused and unchanged
    std::string launcher = tool;  // with `after`, in the shell's terms
    std::string after{};
    bool read_only = false;
};

TEST_F(Tool, PatchesOrRefusesAndSaysWhich) {
    const std::string locked = bound_by_permissions(BOOTGRAFT_EXE, dir);
#ifndef _WIN32
    const std::string limited = "ulimit -f 66; " + tool;
    // A pipe whose reader is gone, as in `bootgraft disc.iso ip.bin | head -c 0`.
    const std::string unread =
        "cd " + quoted(dir.string()) + " && mkfifo f && exec 3<>f 4>f 3<&- && " + tool;
#endif
    const std::vector<outcome> table{
        {"exact.iso", 32768, {}, "sector size:2048\n", iso},
        {"образ.bin", 20 * 2352, {}, "sector size:2352\n", raw},
        {"short.bin", 14 * 2352, {}, "sector size:2352\n", raw},
        {"ディスク.iso", 73 * 2048, iso, "sector size:2048\n", iso},
        {"диск.NRG", 40000, raw, "sector size:2352\n", raw},
        {"big.bin", std::int64_t{2000003} * 2352, {}, "sector size:2352\n", raw},
        {"нет ディスク.iso", -1, {}, "can't open image(@)\n", {}},
        {"odd.iso", 32769, {}, "unknown image\n", {}},
        {"small.nrg", 32767, {}, "image size is too small\n", {}},
        {"locked.iso", 40960, {}, "can't open image(@)\n", {}, locked, "", true},
#ifndef _WIN32
        // A file-size limit fails a write for real, once the patch has overwritten some of the
        // image and grown it: it must come out as it went in, every byte and its length.
        {"short.nrg", 65 * 512, {}, "sector size:2336\ncan't write image(@)\n", {}, limited},
        // Nobody reads what the tool says: the patch is made all the same, and so reported.
        {"unread.iso", 40960, {}, "", iso, unread, ">&4"},
#endif
    };
    std::error_code error;
    for (const outcome& row : table) {
        const fs::path image = dir / fs::u8path(row.name);
        std::string head =
            pattern(static_cast<std::size_t>(std::clamp<std::int64_t>(row.size, 0, 65536)), 7);
        if (row.cd001.sector_size > 0) {
            const auto at = std::int64_t{16} * row.cd001.sector_size + row.cd001.data_offset;
            head.replace(static_cast<std::size_t>(at + 1), 5, "CD001");
        }
        if (row.size >= 0) {
            write_file(image, head, row.size);
            if (row.read_only) {
                fs::permissions(image, fs::perms::owner_read | fs::perms::others_read);
            }
        }
        const tool_run got = run({image, ip}, row.launcher, row.after);
        const bool patches = row.patched_as.sector_size > 0;
        EXPECT_EQ(got.out, std::regex_replace(row.said, std::regex("@"), image.u8string()));
        EXPECT_EQ(got.status, patches ? 0 : failure) << row.name;
        EXPECT_EQ(fs::exists(image), row.size >= 0) << row.name;
        EXPECT_TRUE(!fs::exists(image) ||
                    read_file(image) ==
                        (patches ? patch_block(head, row.patched_as, ip_bytes) : head))
            << row.name;
        // Writable again for TearDown: Windows refuses to delete a read-only file.
        fs::permissions(image, fs::perms::owner_write, fs::perm_options::add, error);
    }
}

// The ip file is judged first: the image is not even opened.
TEST_F(Tool, RefusesAWrongCallOrIpFile) {
    const fs::path image = dir / "absent.iso";
    const fs::path bad = dir / fs::u8path("образ ip.bin");
    const std::string usage =
        "bootgraft <imagefile> <ipgefile>\n patch first 16 sector of cd image\n"
        " support 2048/2336/2352 iso image\n";
    EXPECT_EQ(run({}).out, usage);
    EXPECT_EQ(run({image, ip, ip}).out, usage);
    EXPECT_EQ(run({image, bad}).out, "can't open ip(" + bad.u8string() + ")\n");
    write_file(bad, "", 32769);
    EXPECT_EQ(run({image, bad}).out, "ip size is not 32768\n");
}

// Music first, then a volume: the patch must find it through the sheet, in
// a file the sheet names by a path that climbs or in another letter case,
// and touch nothing else.
TEST_F(Tool, FindsTheTrackThroughASheet) {
    const fs::path data = dir / fs::u8path("диск (Track 1).bin");
    const std::string music = pattern(300 * 2352, 5);
    std::string volume = pattern(40 * 2048, 11);
    volume.replace(16 * 2048 + 1, 5, "CD001");
    // The sheet, its text, what the tool says ("@": the track file's path), whether it patches.
    const std::vector<std::tuple<std::string, std::string, std::string, bool>> table{
        {"диск.cue",
         "FILE \"../elsewhere/диск (Track 1).bin\" BINARY\r\n TRACK 01 AUDIO\r\n  INDEX 01 "
         "00:00:00\r\n TRACK 02 MODE1/2048\r\n  INDEX 01 00:04:00\r\nFILE gone.wav WAVE\r\n TRACK "
         "03 "
         "AUDIO\r\n  INDEX 01 00:00:00\r\n",
         "sector size:2048\n", true},
        // Named as on Windows, in another letter case.
        {"b.cue",
         "FILE \"ДИСК (TRACK 1).BIN\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 "
         "MODE1/2048\n  INDEX 01 00:04:00\n",
         "sector size:2048\n", true},
        {"a.TOC", "TRACK MODE1\nDATAFILE \"gone.iso\"\n", "can't open image(@)\n", false},
        // A name no system allows, which a line would be cut short at.
        {"n.toc", std::string("TRACK MODE1\nDATAFILE \"a\0b.bin\"\n", 31), "unknown image\n",
         false},
    };
    for (const auto& [name, text, said, patched] : table) {
        write_file(data, music + volume, 300 * 2352 + 40 * 2048);
        const fs::path sheet = dir / fs::u8path(name);
        write_file(sheet, text, static_cast<std::int64_t>(text.size()));
        const tool_run got = run({sheet, ip});
        EXPECT_EQ(got.out,
                  std::regex_replace(said, std::regex("@"), (dir / "gone.iso").u8string()));
        EXPECT_EQ(got.status, patched ? 0 : failure) << name;
        std::ifstream file(data, std::ios::binary);
        const std::string now((std::istreambuf_iterator<char>(file)), {});
        EXPECT_TRUE(now == music + (patched ? ip_bytes + volume.substr(32768) : volume));
    }
}

}  // namespace

// Only a volume or a system without POSIX renames (FAT32 and exFAT answer 50 or 87, Windows
// before 10 and Wine 1 or 87) gives up the lock for the plain rename; a denied or shared target
// does not, as a waiting run would then take the old file.
TEST(RenameFallback, TakenOnlyWhereNoPosixRenameIsToBeHad) {
    const std::vector<std::pair<std::uint32_t, bool>> table{{1, true},   {50, true},  {87, true},
                                                            {665, true}, {0, false},  {5, false},
                                                            {32, false}, {112, false}};
    for (const auto& [error, fallback] : table) {
        EXPECT_EQ(posix_rename_unsupported(error), fallback) << error;
    }
}
