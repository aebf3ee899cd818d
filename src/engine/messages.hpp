// The lines that name a file, for the engine and every front-end alike.
#pragma once

#include <string>

// "what(path)" and its line end, whole whatever bytes the path holds.
std::string naming(const char* what, const std::string& path);
