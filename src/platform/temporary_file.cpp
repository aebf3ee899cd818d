// The temporary file a whole file is rewritten through: named, created,
// listed for removal on an interrupt, renamed over the original, and the
// ones killed runs left behind found again.
#include "platform/temporary_file.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "containers/container.hpp"

namespace {

constexpr std::size_t suffix_digits = 16;

}  // namespace

temporary_file::~temporary_file() {
    if (!path_.empty()) {
        static_cast<void>(file_.close());
        const interrupts_held held;
        static_cast<void>(remove_file(path_));
        remove_on_interrupt("");
    }
}

// A dot name with 64 random bits: no other run, and no user, picks it;
// should one exist all the same, the next draw is taken.
bool temporary_file::create(const std::string& beside) {
    const std::string folder = folder_of(beside);
    const std::string name = beside.substr(folder.size());
    std::random_device source;
    constexpr int attempts = 16;
    for (int i = 0; i < attempts; ++i) {
        const std::uint64_t draw = std::uint64_t{source()} << 32 | source();
        std::array<char, suffix_digits + 1> suffix{};
        static_cast<void>(std::snprintf(suffix.data(), suffix.size(), "%016llx",
                                        static_cast<unsigned long long>(draw)));
        std::string candidate = folder;
        candidate.append(".").append(name).append(".").append(suffix.data()).append(".tmp");
        const interrupts_held held;
        if (file_.open(candidate, os_file::access::create_new)) {
            path_ = candidate;
            remove_on_interrupt(path_);
            return true;
        }
    }
    return false;
}

bool temporary_file::replace(os_file& original, const std::string& path) {
    if (!file_.take_access_of(original) || !file_.sync() || !file_.close()) {
        return false;
    }
    {
        const interrupts_held held;
        if (!rename_over(path_, path, original)) {
            return false;
        }
        path_.clear();
        remove_on_interrupt("");
    }
    sync_folder_of(path);
    return true;
}

bool temporary_name_of(std::string_view entry, std::string_view name) {
    const std::string_view ending = ".tmp";
    const std::size_t fixed = 1 + name.size() + 1 + suffix_digits + ending.size();
    if (entry.size() != fixed || entry[0] != '.' || entry.substr(1, name.size()) != name ||
        entry[1 + name.size()] != '.' || entry.substr(fixed - ending.size()) != ending) {
        return false;
    }
    const std::string_view digits = entry.substr(2 + name.size(), suffix_digits);
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

void remove_leftovers_of(const std::string& path) {
    const std::string folder = folder_of(path);
    const std::string name = path.substr(folder.size());
    std::error_code error;
    std::filesystem::directory_iterator entry(
        std::filesystem::u8path(folder.empty() ? "." : folder), error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::string found = entry->path().filename().u8string();
        if (temporary_name_of(found, name) && own_regular_file(folder + found)) {
            static_cast<void>(remove_file(folder + found));
        }
    }
}
