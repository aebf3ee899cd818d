// Running a built command as users run it: through the shell, on real
// files in a folder of each test's own, with Unicode in their names.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/windows_text.hpp"
#include "support.hpp"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifdef _WIN32
constexpr int failure = -1;  // as %ERRORLEVEL% and $LASTEXITCODE read it
inline std::string quoted(const std::string& word) { return '"' + word + '"'; }
// cmd /c drops the first and the last quote of the line: a pair of its own.
inline FILE* open_shell(const std::string& line) {
    return _wpopen(utf16('"' + line + '"').c_str(), L"rb");
}
inline int close_shell(FILE* shell) { return _pclose(shell); }
#else
constexpr int failure = 255;  // as a POSIX shell reads -1
inline std::string quoted(const std::string& word) { return '\'' + word + '\''; }
inline FILE* open_shell(const std::string& line) { return popen(line.c_str(), "r"); }
inline int close_shell(FILE* shell) {
    const int status = pclose(shell);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}
#endif

// A cross build's, through its emulator (BOOTGRAFT_RUNNER: qemu-user).
inline std::string command(const char* exe) {
    return BOOTGRAFT_RUNNER + quoted(std::filesystem::path(exe).make_preferred().u8string());
}
inline const std::string tool = command(BOOTGRAFT_EXE);

// `exe` run so that permission bits bind it. Root writes whatever the bits
// say: it runs as nobody, from a copy in `dir` that nobody can reach
// wherever the build tree lies.
inline std::string bound_by_permissions(const char* exe,
                                        [[maybe_unused]] const std::filesystem::path& dir) {
#ifndef _WIN32
    if (geteuid() == 0) {
        const std::filesystem::path copy = dir / std::filesystem::path(exe).filename();
        std::filesystem::copy_file(exe, copy);
        return "setpriv --reuid=65534 --regid=65534 --clear-groups " + command(copy.c_str());
    }
#endif
    return command(exe);
}

struct tool_run {
    int status;
    std::string out;  // standard output, and error unless `errors` sends it elsewhere
};

// `launcher` starts the command and `after` redirects it, in the shell's terms.
inline tool_run run(const std::vector<std::filesystem::path>& args,
                    const std::string& launcher = tool, const std::string& after = "",
                    const std::string& errors = "2>&1") {
    std::string line = launcher;
    for (const std::filesystem::path& arg : args) {
        line += " " + quoted(arg.u8string());
    }
    FILE* shell = open_shell(line + " " + after + " " + errors);
    tool_run result{-3, ""};
    for (int c; shell != nullptr && (c = std::fgetc(shell)) != EOF;) {
        result.out += static_cast<char>(c);
    }
    result.status = shell != nullptr ? close_shell(shell) : result.status;
    return result;
}

inline void write_file(const std::filesystem::path& path, const std::string& bytes,
                       std::int64_t length) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(length));
}

inline std::string read_file(const std::filesystem::path& path) {
    std::string bytes(
        static_cast<std::size_t>(std::min<std::uintmax_t>(std::filesystem::file_size(path), 65536)),
        '\0');
    std::ifstream(path, std::ios::binary)
        .read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

class Tool : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        // Apart from any other run of the tests on this machine.
        const std::string run_id = std::to_string(std::random_device{}());
        dir = std::filesystem::temp_directory_path() / ("bootgraft-" + run_id + "-" + test->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        ip = dir / std::filesystem::u8path("boot ip загрузчик.bin");
        write_file(ip, ip_bytes, 32768);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::filesystem::path dir;
    std::filesystem::path ip;  // a space and letters beyond any ANSI code page, in every run
    const std::string ip_bytes = pattern(32768, 97);
};
