// How the arguments arrive and how text reaches the user: the one place
// where the tool differs between systems.
#pragma once

#include <string>
#include <vector>

// The process arguments, program name first, as UTF-8 on Windows and as
// the bytes given elsewhere.
std::vector<std::string> arguments(int argc, char** argv);

#ifdef _WIN32
// UTF-8 to UTF-16 for the wide Windows interfaces; empty if that fails.
std::wstring utf16(const std::string& text);
#endif

// Writes text to standard output. Should that fail, the exit status still
// tells the truth about the image, so the failure is let be.
void say(const std::string& text);

// Whether standard error is a terminal: only there is a progress line,
// rewritten in place, anything but noise.
bool error_is_terminal();
