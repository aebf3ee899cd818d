// How the arguments arrive and how text reaches the user: the one place
// where the tool differs between systems.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/report.hpp"

// The process arguments, program name first, as UTF-8 on Windows and as
// the bytes given elsewhere.
std::vector<std::string> arguments(int argc, char** argv);

// Writes text to standard output, or to standard error once standard
// output carries data. Should that fail, the exit status still tells the
// truth about the image, so the failure is let be.
void say(const std::string& text);
void say_aside_from_data();

// Says `message` and gives the exit status of a failure, -1.
int fail(const std::string& message);

// All of `bytes` to standard output, as they are; false when they could not
// all be written.
bool write_out(std::string_view bytes);

// What a run tells its user, on the console: each line as it comes, and
// how far a long run has come on a line of standard error that is
// rewritten in place, only on a terminal, only once the run has taken a
// second, and wiped at the end.
class console_report final : public run_report {
public:
    console_report();
    console_report(const console_report&) = delete;
    console_report& operator=(const console_report&) = delete;
    ~console_report() override;

    void line(const std::string& text) override;
    void progress(const char* what, std::uint64_t done, std::uint64_t total) override;

private:
    void wipe();

    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
    bool terminal_;
    bool shown_ = false;
};
