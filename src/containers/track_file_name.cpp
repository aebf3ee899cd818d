// The choice of a track file among a folder's names, step by step.
#include "containers/track_file_name.hpp"

#include <algorithm>

#include "base/unicode_text.hpp"

namespace {

// Bytes as text: UTF-8 where they are, Windows-1252 where they are not.
std::string read_as_text(std::string_view bytes) {
    return valid_utf8(bytes) ? std::string(bytes) : windows_1252_to_utf8(bytes);
}

// The one entry that `matches` accepts; none if none or several do.
template <typename Match>
std::optional<std::string> only(const std::vector<std::string>& entries, Match matches) {
    const auto first = std::find_if(entries.begin(), entries.end(), matches);
    if (first == entries.end() ||
        std::find_if(first + 1, entries.end(), matches) != entries.end()) {
        return std::nullopt;
    }
    return *first;
}

}  // namespace

std::optional<std::string> track_file_entry(std::string_view name,
                                            const std::vector<std::string>& entries) {
    const auto is = [](const std::string& wanted) {
        return [wanted](const std::string& entry) { return entry == wanted; };
    };
    if (auto exact = only(entries, is(std::string(name)))) {
        return exact;
    }
    const bool utf8 = valid_utf8(name);
    const std::string ansi = windows_1252_to_utf8(name);
    if (!utf8) {
        if (auto converted = only(entries, is(ansi))) {
            return converted;
        }
    }
    const std::string folded = case_folded(read_as_text(name));
    const std::string folded_ansi = case_folded(ansi);
    return only(entries, [&](const std::string& entry) {
        const std::string key = case_folded(read_as_text(entry));
        return key == folded || key == folded_ansi;
    });
}
