#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <iterator>

#include "tool_process.hpp"

const int tool_failure_status = 255;
const bool can_limit_file_size = true;

namespace {

std::string drain(int fd) {
    std::string text;
    std::array<char, 4096> buffer{};
    for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;) {
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    close(fd);
    return text;
}

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void become_tool(char* const* argv, const run_limits& limits, int out, int err) {
    std::array<int, 2> unread{};
    if (limits.output_unread && (pipe(unread.data()) != 0 || close(unread[0]) != 0)) {
        _exit(127);
    }
    if (dup2(limits.output_unread ? unread[1] : out, STDOUT_FILENO) < 0 ||
        dup2(err, STDERR_FILENO) < 0) {
        _exit(127);
    }
    if (limits.file_size_limit >= 0) {
        // Ignored, the signal lets the write fail with EFBIG as the tool must handle.
        const auto limit = static_cast<rlim_t>(limits.file_size_limit);
        const rlimit fsize{limit, limit};
        if (signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &fsize) != 0) {
            _exit(127);
        }
    }
    // Opened while still privileged: the build tree may lie where nobody
    // cannot reach, and only the image's permission bits are under test.
    const int tool = open(BOOTGRAFT_EXE, O_RDONLY | O_CLOEXEC);
    if (limits.unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
        _exit(127);
    }
    fexecve(tool, argv, environ);
    _exit(127);
}

}  // namespace

tool_run run_tool(const std::vector<std::string>& args, const run_limits& limits) {
    std::vector<std::string> words{BOOTGRAFT_EXE};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    std::transform(words.begin(), words.end(), std::back_inserter(argv),
                   [](std::string& word) { return word.data(); });
    argv.push_back(nullptr);

    std::array<int, 2> out{};
    std::array<int, 2> err{};
    if (pipe(out.data()) != 0 || pipe(err.data()) != 0) {
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        close(err[0]);
        become_tool(argv.data(), limits, out[1], err[1]);
    }
    close(out[1]);
    close(err[1]);
    tool_run run;
    run.out = drain(out[0]);
    run.err = drain(err[0]);  // the tool writes little enough not to block on either pipe
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
    }
    return run;
}
