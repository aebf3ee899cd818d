// bootgraft-extract run as users run it: what it refuses leaves no ip file
// behind, and the image it reads is never changed.
#include <regex>
#include <tuple>

#include "cli/tool_run.hpp"

namespace fs = std::filesystem;

namespace {

const std::string extractor = command(BOOTGRAFT_EXTRACT_EXE);

TEST_F(Tool, ExtractsOrRefusesAndLeavesNoIpFile) {
    const std::string volume = pattern(40960, 7);  // 20 sectors of 2048 bytes
    const fs::path image = dir / fs::u8path("образ ディスク.iso");
    const fs::path out = dir / fs::u8path("новый ip.bin");
    const fs::path odd = dir / "odd.iso";
    const fs::path short_raw = dir / "short.bin";
    write_file(image, volume, 40960);
    write_file(odd, "", 32769);
    write_file(short_raw, "", 15 * 2352);  // one sector short, yet over 32768 bytes
    const std::string usage =
        "bootgraft-extract <imagefile> <ipfile>\n read first 16 sector of cd image\n"
        " support 2048/2336/2352 iso image\n";
    // The arguments, what it says ("@" is the last of them), how it is started.
    const std::vector<std::tuple<std::vector<fs::path>, std::string, std::string>> table{
        {{image, out}, "sector size:2048\n", extractor},
        // Swapped arguments: the image is the file that exists, and stays as it is.
        {{ip, image}, "ip file exists(@)\n", extractor},
        {{dir / fs::u8path("нет.iso"), out},
         "can't open image(" + (dir / fs::u8path("нет.iso")).u8string() + ")\n",
         extractor},
        {{odd, out}, "unknown image\n", extractor},
        {{short_raw, out}, "image size is too small\n", extractor},
        {{image}, usage, extractor},
        {{image, out, out}, usage, extractor},
#ifndef _WIN32
        {{image, out}, "sector size:2048\ncan't write ip(@)\n", "ulimit -f 20; " + extractor},
#endif
    };
    for (const auto& [args, said, launcher] : table) {
        const tool_run got = run(args, launcher);
        const bool extracts = said == "sector size:2048\n";
        EXPECT_EQ(got.out, std::regex_replace(said, std::regex("@"), args.back().u8string()));
        EXPECT_EQ(got.status, extracts ? 0 : failure) << said;
        EXPECT_EQ(fs::exists(out), extracts) << said;
        EXPECT_TRUE(!extracts || read_file(out) == volume.substr(0, 32768));
        EXPECT_TRUE(read_file(image) == volume && read_file(ip) == ip_bytes) << said;
        fs::remove(out);
    }
}

// Bytes to standard output, untouched by any text mode, and the line aside;
// an image that may not be written is read all the same, and left as it was.
TEST_F(Tool, ExtractsAReadOnlyImageToStandardOutput) {
    const std::string volume = pattern(40960, 7);
    const fs::path image = dir / fs::u8path("только чтение.iso");
    const fs::path errors = dir / "errors.txt";
    write_file(image, volume, 40960);
    fs::permissions(image, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const fs::file_time_type written = fs::last_write_time(image);
    const tool_run got = run({image, "-"}, bound_by_permissions(BOOTGRAFT_EXTRACT_EXE, dir), "",
                             "2>" + quoted(errors.u8string()));
    EXPECT_EQ(got.status, 0);
    EXPECT_TRUE(got.out == volume.substr(0, 32768));
    EXPECT_EQ(read_file(errors), "sector size:2048\n");
    EXPECT_TRUE(fs::last_write_time(image) == written && read_file(image) == volume);
#ifndef _WIN32
    // Output that cannot be written is a failure said as one.
    const tool_run full = run({image, "-"}, extractor, "2>&1 >/dev/full", "");
    EXPECT_EQ(full.out, "sector size:2048\ncan't write ip(-)\n");
    EXPECT_EQ(full.status, failure);
#endif
    // Writable again for TearDown: Windows refuses to delete a read-only file.
    fs::permissions(image, fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
