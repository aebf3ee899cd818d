// What a run tells its user: its lines, each whole and ending in "\n", and
// how far a long piece of work has come.
#pragma once

#include <cstdint>
#include <string>

class run_report {
public:
    run_report() = default;
    run_report(const run_report&) = delete;
    run_report& operator=(const run_report&) = delete;
    virtual ~run_report() = default;

    virtual void line(const std::string& text) = 0;
    // `what` ("hashing", "writing") is `done` of `total` units along.
    virtual void progress(const char* what, std::uint64_t done, std::uint64_t total) = 0;
};
