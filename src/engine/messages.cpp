// The lines that name a file.
#include "engine/messages.hpp"

std::string naming(const char* what, const std::string& path) {
    return std::string(what) + "(" + path + ")\n";
}
