// The console on either system: the arguments, the lines said, the data
// written out, and the progress line.
#include "cli/console.hpp"

#include <cstdio>

namespace {

bool aside = false;  // messages go to standard error

}  // namespace

void say_aside_from_data() { aside = true; }

int fail(const std::string& message) {
    say(message);
    return -1;
}

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <algorithm>
#include <memory>

#include "platform/windows_text.hpp"

namespace {

struct local_free {
    void operator()(LPWSTR* block) const { static_cast<void>(LocalFree(block)); }
};

}  // namespace

// Windows keeps the command line in UTF-16 and would hand main() its
// arguments in the ANSI code page, where ディスク.iso becomes ????.iso. Taken
// wide and turned into UTF-8, every path reaches u8path whole.
std::vector<std::string> arguments(int /*argc*/, char** /*argv*/) {
    int count = 0;
    const std::unique_ptr<LPWSTR, local_free> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::string> args;
    for (std::size_t i = 0; wide && i < static_cast<std::size_t>(count); ++i) {
        args.push_back(utf8_of(wide.get()[i]));
    }
    return args;
}

// A console shows UTF-16 handed to WriteConsoleW whatever its code page;
// bytes would show in the OEM code page, mangling any name beyond ASCII.
// Pipes and files get the UTF-8 bytes themselves, "\n" and all, as on any
// other system, so that scripts read the same output everywhere.
void say(const std::string& text) {
    HANDLE out = GetStdHandle(aside ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(out, &mode) != 0) {
        const std::wstring wide = utf16(text);
        static_cast<void>(
            WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr));
    } else {
        static_cast<void>(
            WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    }
}

// A handle is binary whatever the C library's text mode would make of "\n".
bool write_out(std::string_view bytes) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto asked = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1U << 30U));
        if (WriteFile(out, bytes.data(), asked, &written, nullptr) == 0 || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

namespace {

bool error_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace

#else
#include <unistd.h>

#include <cerrno>
#include <csignal>

std::vector<std::string> arguments(int argc, char** argv) { return {argv, argv + argc}; }

// Flushed at once, so each line is out before the writes that follow it,
// and whole whatever bytes it holds. A reader that has gone away must not
// kill the tool halfway through, nor turn a finished patch into a failed
// run: the exit status reports the outcome, so SIGPIPE is ignored and the
// lost line let be.
void say(const std::string& text) {
    static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
    std::FILE* const out = aside ? stderr : stdout;
    static_cast<void>(std::fwrite(text.data(), 1, text.size(), out));
    static_cast<void>(std::fflush(out));
}

// Straight to the descriptor: nothing of stdout's buffer is in the way.
bool write_out(std::string_view bytes) {
    static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
    while (!bytes.empty()) {
        const ssize_t written = write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}
namespace {

bool error_is_terminal() { return isatty(STDERR_FILENO) != 0; }

}  // namespace
#endif

console_report::console_report()
    : start_(std::chrono::steady_clock::now()), terminal_(error_is_terminal()) {}

console_report::~console_report() { wipe(); }

void console_report::wipe() {
    if (shown_) {
        shown_ = false;
        static_cast<void>(std::fputs("\r                        \r", stderr));
        static_cast<void>(std::fflush(stderr));
    }
}

// On a terminal the line would otherwise run on from the progress line.
void console_report::line(const std::string& text) {
    wipe();
    say(text);
}

void console_report::progress(const char* what, std::uint64_t done, std::uint64_t total) {
    const auto now = std::chrono::steady_clock::now();
    if (!terminal_ || total == 0 || now - start_ < std::chrono::seconds(1) ||
        now - last_ < std::chrono::milliseconds(200)) {
        return;
    }
    last_ = now;
    shown_ = true;
    static_cast<void>(
        std::fprintf(stderr, "\r%s %3u%%", what, static_cast<unsigned>(done * 100 / total)));
    static_cast<void>(std::fflush(stderr));
}
