// Runs the built tool as a user would, and collects what it said.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct tool_run {
    std::optional<int> status;  // as the system's shell sees it; none if it never exited
    std::string out;
    std::string err;
};

struct run_limits {
    std::int64_t file_size_limit = -1;  // bytes any file may reach; -1 for none
    bool unprivileged = false;          // run as nobody, so permission bits bind
    bool output_unread = false;         // standard output a pipe nobody reads
};

// What the tool's `return -1` reaches its caller as: 255 in a POSIX shell,
// -1 in cmd's %ERRORLEVEL% and PowerShell's $LASTEXITCODE.
extern const int tool_failure_status;

// Whether run_limits::file_size_limit can be set for the tool: POSIX has
// RLIMIT_FSIZE, Windows no per-process limit on file size.
extern const bool can_limit_file_size;

tool_run run_tool(const std::vector<std::string>& args, const run_limits& limits = {});
