// Runs the built tool as a user would, and collects what it said.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct tool_run {
    int status = -1;  // exit status as a shell sees it; -1 when it did not exit
    std::string out;
    std::string err;
};

struct run_limits {
    std::int64_t file_size_limit = -1;  // bytes any file may reach; -1 for none
    bool unprivileged = false;          // run as nobody, so permission bits bind
};

tool_run run_tool(const std::vector<std::string>& args, const run_limits& limits = {});
