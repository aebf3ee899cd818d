// The built tool, run as users run it: through the system's shell, on real
// files, with Unicode in their names.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "console.hpp"
#include "sector_layout.hpp"

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
    std::array<char, 4096> buffer{};
    for (std::size_t n; shell != nullptr && (n = std::fread(buffer.data(), 1, 4096, shell)) > 0;) {
        result.out.append(buffer.data(), n);
    }
    result.status = shell != nullptr ? close_shell(shell) : -3;
    return result;
}

std::string pattern(std::size_t length, std::size_t step) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((i * step + i / 251) % 255 + 1);
    }
    return bytes;
}

void write_file(const fs::path& path, const std::string& bytes, std::int64_t length) {
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

// Where the user data of a sector lies.
std::size_t at(sector_layout layout, std::size_t sector) {
    return static_cast<std::size_t>(layout.data_offset) +
           static_cast<std::size_t>(layout.sector_size) * sector;
}

// The image as it must read: each chunk in its place, zeros where the file
// had to grow, every other byte as it was.
std::string patched(std::string image, const std::string& ip, sector_layout used) {
    image.resize(std::max(image.size(), at(used, 15) + 2048), '\0');
    for (std::size_t i = 0; i < 16; ++i) {
        image.replace(at(used, i), 2048, ip.substr(i * 2048, 2048));
    }
    return image;
}

class Tool : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / (std::string("bootgraft-") + test->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        ip = dir / fs::u8path("boot ip загрузчик.bin");
        write_file(ip, ip_bytes, 32768);
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
    fs::path ip;  // a space and letters beyond any ANSI code page, in every run
    const std::string ip_bytes = pattern(32768, 97);
};

struct outcome {
    std::string name;
    std::int64_t size;         // -1: no such image
    std::string head;          // its first bytes, before the pattern
    sector_layout cd001;       // where "CD001" stands, if anywhere
    std::string said;          // "@" stands for the image's path
    sector_layout patched_as;  // {0, 0}: refused and unchanged
};

TEST_F(Tool, PatchesOrRefusesAndSaysWhich) {
    const std::string mode1("\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0\0\2\0\1", 16);
    const std::string done = "sector size:";
    const std::vector<outcome> table{
        {"exact.iso", 32768, "", {}, done + "2048\n", {2048, 0}},
        {"образ.bin", 20 * 2352, "", {}, done + "2352\n", {2352, 24}},
        {"mode1.bin", 20 * 2352, mode1, {}, done + "2352\n", {2352, 16}},
        {"short.bin", 14 * 2352, "", {}, done + "2352\n", {2352, 24}},
        {"ディスク.iso", 73 * 2048, "", {2048, 0}, done + "2048\n", {2048, 0}},
        {"диск.NRG", 40000, "", {2352, 24}, done + "2352\n", {2352, 24}},
        {"big.iso", std::int64_t{2300000} * 2048, "", {}, done + "2048\n", {2048, 0}},
        {"нет ディスク.iso", -1, "", {}, "can't open image(@)\n", {}},
        {"odd.iso", 32769, "", {}, "unknown image\n", {}},
        {"small.nrg", 32767, "", {}, "image size is too small\n", {}},
    };
    for (const outcome& row : table) {
        const fs::path image = dir / fs::u8path(row.name);
        const auto kept = static_cast<std::size_t>(std::clamp<std::int64_t>(row.size, 0, 65536));
        std::string head = (row.head + pattern(65536, 7)).substr(0, kept);
        if (row.cd001.sector_size > 0) {
            head.replace(at(row.cd001, 16) + 1, 5, "CD001");
        }
        if (row.size >= 0) {
            write_file(image, head, row.size);
        }
        const tool_run got = run({image, ip});
        const bool patches = row.patched_as.sector_size > 0;
        std::string said = row.said;
        const std::size_t path = said.find('@');
        EXPECT_EQ(got.out,
                  path == std::string::npos ? said : said.replace(path, 1, image.u8string()));
        EXPECT_EQ(got.status, patches ? 0 : failure) << row.name;
        EXPECT_EQ(fs::exists(image), row.size >= 0) << row.name;
        EXPECT_TRUE(!fs::exists(image) ||
                    read_file(image) == (patches ? patched(head, ip_bytes, row.patched_as) : head))
            << row.name;
    }
}

// The ip file is judged first: the image is not even opened.
TEST_F(Tool, RefusesAWrongCallOrIpFile) {
    const fs::path image = dir / "absent.iso";
    const fs::path bad = dir / fs::u8path("образ ip.bin");
    EXPECT_EQ(run({image, bad}).out, "can't open ip(" + bad.u8string() + ")\n");
    for (const std::int64_t size : {32767, 32769}) {
        write_file(bad, "", size);
        EXPECT_EQ(run({image, bad}).out, "ip size is not 32768\n") << size;
    }
    const std::string usage =
        "bootgraft <imagefile> <ipgefile>\n patch first 16 sector of cd image\n"
        " support 2048/2336/2352 iso image\n";
    for (const auto& args : std::vector<std::vector<fs::path>>{{}, {ip}, {image, ip, ip}}) {
        EXPECT_EQ(run(args).out, usage) << args.size();
    }
    EXPECT_EQ(run({image, ip, ip, ip}).status, failure);
    EXPECT_FALSE(fs::exists(image));
}

TEST_F(Tool, RefusesAReadOnlyImage) {
    const fs::path image = dir / "locked.iso";
    write_file(image, pattern(40960, 7), 40960);
    fs::permissions(image, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::string launcher = tool;
#ifndef _WIN32
    // Root writes whatever the bits say: run as nobody, from a copy of the
    // tool that nobody can reach wherever the build tree lies.
    if (geteuid() == 0) {
        fs::copy_file(BOOTGRAFT_EXE, dir / "bootgraft");
        launcher = "setpriv --reuid=65534 --regid=65534 --clear-groups " +
                   quoted((dir / "bootgraft").string());
    }
#endif
    const tool_run got = run({image, ip}, launcher);
    EXPECT_EQ(got.out, "can't open image(" + image.u8string() + ")\n");
    EXPECT_EQ(got.status, failure);
    EXPECT_EQ(read_file(image), pattern(40960, 7));
    // Writable again for TearDown: Windows refuses to delete a read-only file.
    fs::permissions(image, fs::perms::owner_write, fs::perm_options::add);
}

#ifndef _WIN32
// A file-size limit makes the writes past the old end fail for real: the
// image must come out as it went in, every byte and its length.
TEST_F(Tool, LeavesTheImageAsItWasWhenAWriteFails) {
    const std::string original = pattern(65 * 512, 7);  // taken as 2336: grows to 37096
    for (const int blocks : {65, 66}) {
        const fs::path image = dir / ("short" + std::to_string(blocks) + ".nrg");
        write_file(image, original, 65 * 512);
        const tool_run got = run({image, ip}, "ulimit -f " + std::to_string(blocks) + "; " + tool);
        EXPECT_EQ(got.out, "sector size:2336\ncan't write image(" + image.u8string() + ")\n");
        EXPECT_EQ(got.status, failure);
        EXPECT_TRUE(read_file(image) == original) << blocks;
    }
}

// As in `bootgraft disc.iso ip.bin | head -c 0`: the reader is gone before
// the tool says a word, yet the patch is made and the status says so.
TEST_F(Tool, FinishesThePatchWhenNobodyReadsItsOutput) {
    const fs::path image = dir / "unread.iso";
    write_file(image, pattern(40960, 7), 40960);
    std::array<int, 2> unread{};
    ASSERT_EQ(pipe(unread.data()), 0);
    close(unread[0]);
    EXPECT_EQ(run({image, ip}, tool, ">&" + std::to_string(unread[1])).status, 0);
    close(unread[1]);
    EXPECT_TRUE(read_file(image) == patched(pattern(40960, 7), ip_bytes, {2048, 0}));
}
#endif

}  // namespace
