// How the arguments arrive and how text reaches the user: the one place
// where the tool differs between systems.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The process arguments, program name first, as UTF-8 on Windows and as
// the bytes given elsewhere.
std::vector<std::string> arguments(int argc, char** argv);

#ifdef _WIN32
// UTF-8 to UTF-16 for the wide Windows interfaces; empty if that fails.
std::wstring utf16(const std::string& text);
#endif

// Writes text to standard output, or to standard error once standard
// output carries data. Should that fail, the exit status still tells the
// truth about the image, so the failure is let be.
void say(const std::string& text);
void say_aside_from_data();

// Says `message` and gives the exit status of a failure, -1.
int fail(const std::string& message);

// The line that names a file: "what(path)".
std::string naming(const char* what, const std::string& path);

// All of `bytes` to standard output, as they are; false when they could not
// all be written.
bool write_out(std::string_view bytes);

// Whether standard error is a terminal: only there is a progress line,
// rewritten in place, anything but noise.
bool error_is_terminal();
