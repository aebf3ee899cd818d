// How the arguments arrive and how text reaches the user: the one place
// where the tool differs between systems.
#pragma once

#include <string>
#include <vector>

// The process arguments, program name first, as UTF-8 on Windows and as
// the bytes given elsewhere.
std::vector<std::string> arguments(int argc, char** argv);

// Writes text to standard output. Should that fail, the exit status still
// tells the truth about the image, so the failure is let be.
void say(const std::string& text);
