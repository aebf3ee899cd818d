// The built tool run as users run it: through the shell, on real files,
// with Unicode in their names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

#include "cli/console.hpp"
#include "sectors/block_patch.hpp"
#include "support.hpp"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr int failure = -1;  // as %ERRORLEVEL% and $LASTEXITCODE read it
std::string quoted(const std::string& word) { return '"' + word + '"'; }
// cmd /c drops the first and the last quote of the line: a pair of its own.
FILE* open_shell(const std::string& line) {
    return _wpopen(utf16('"' + line + '"').c_str(), L"rb");
}
int close_shell(FILE* shell) { return _pclose(shell); }
#else
constexpr int failure = 255;  // as a POSIX shell reads -1
std::string quoted(const std::string& word) { return '\'' + word + '\''; }
FILE* open_shell(const std::string& line) { return popen(line.c_str(), "r"); }
int close_shell(FILE* shell) {
    const int status = pclose(shell);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}
#endif

const std::string tool = quoted(fs::path(BOOTGRAFT_EXE).make_preferred().u8string());

struct tool_run {
    int status;
    std::string out;  // standard output and error, as the user sees them
};

// `launcher` starts the tool and `after` redirects it, in the shell's terms.
tool_run run(const std::vector<fs::path>& args, const std::string& launcher = tool,
             const std::string& after = "") {
    std::string line = launcher;
    for (const fs::path& arg : args) {
        line += " " + quoted(arg.u8string());
    }
    FILE* shell = open_shell(line + " " + after + " 2>&1");
    tool_run result{-3, ""};
    for (int c; shell != nullptr && (c = std::fgetc(shell)) != EOF;) {
        result.out += static_cast<char>(c);
    }
    result.status = shell != nullptr ? close_shell(shell) : result.status;
    return result;
}

void write_file(const fs::path& path, const std::string& bytes, std::int64_t length) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    fs::resize_file(path, static_cast<std::uintmax_t>(length));
}

std::string read_file(const fs::path& path) {
    std::string bytes(std::min<std::uintmax_t>(fs::file_size(path), 65536), '\0');
    std::ifstream(path, std::ios::binary)
        .read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

class Tool : public ::testing::Test {
protected:
    void SetUp() override { write_file(ip, ip_bytes, 32768); }
    void TearDown() override { fs::remove_all(dir); }

    // Apart from any other run of the tests on this machine.
    fs::path dir =
        fs::temp_directory_path() / ("bootgraft-" + std::to_string(std::random_device{}()));
    fs::path ip = dir / fs::u8path("boot ip загрузчик.bin");  // beyond any ANSI code page
    const std::string ip_bytes = pattern(32768, 97);
};

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
    std::string locked = tool;
#ifndef _WIN32
    // Root writes whatever the bits say: run as nobody, from a copy of the tool that nobody can
    // reach wherever the build tree lies.
    if (geteuid() == 0) {
        fs::copy_file(BOOTGRAFT_EXE, dir / "bootgraft");
        locked = "setpriv --reuid=65534 --regid=65534 --clear-groups " +
                 quoted((dir / "bootgraft").string());
    }
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

}  // namespace
