#include "containers/sheet_text.hpp"

#include <algorithm>

#include "base/ascii_words.hpp"

namespace {

bool blank(char c) { return sheet_blanks.find(c) != std::string_view::npos; }

// Fifteen digits keep every product a position goes through (frames times
// a sector size) far inside 64 bits.
constexpr std::size_t most_digits = 15;

}  // namespace

std::vector<std::string_view> sheet_lines(std::string_view text) {
    constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
    if (text.substr(0, byte_order_mark.size()) == byte_order_mark) {
        text.remove_prefix(byte_order_mark.size());
    }
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        while (!line.empty() && blank(line.back())) {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

std::vector<std::string> sheet_words(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        if (blank(line[i])) {
            ++i;
        } else if (line[i] == '"') {
            const std::size_t close = std::min(line.find('"', i + 1), line.size());
            words.emplace_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            std::size_t end = i;
            while (end < line.size() && !blank(line[end])) {
                ++end;
            }
            words.emplace_back(line.substr(i, end - i));
            i = end;
        }
    }
    return words;
}

std::optional<std::int64_t> whole_number(std::string_view text, bool hex) {
    if (hex) {
        if (!same_word(text.substr(0, 2), "0x")) {
            return std::nullopt;
        }
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > most_digits) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char c : text) {
        const char lower = ascii_lower(c);
        const bool decimal = c >= '0' && c <= '9';
        if (!decimal && !(hex && lower >= 'a' && lower <= 'f')) {
            return std::nullopt;
        }
        value = value * (hex ? 16 : 10) + (decimal ? c - '0' : lower - 'a' + 10);
    }
    return value;
}

std::optional<std::int64_t> msf_frames(std::string_view text) {
    const std::size_t first = text.find(':');
    const std::size_t second = text.find(':', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    const auto minutes = whole_number(text.substr(0, first));
    // No disc runs for a thousand hours; the bound keeps byte offsets small.
    constexpr std::int64_t most_minutes = 60000;
    if (minutes > most_minutes) {
        return std::nullopt;
    }
    return msf_frames(minutes, whole_number(text.substr(first + 1, second - first - 1)),
                      whole_number(text.substr(second + 1)));
}

std::optional<std::int64_t> msf_frames(std::optional<std::int64_t> minutes,
                                       std::optional<std::int64_t> seconds,
                                       std::optional<std::int64_t> frames) {
    constexpr std::int64_t per_second = 75;
    if (!minutes || !seconds || !frames || *minutes < 0 || *seconds < 0 || *seconds >= 60 ||
        *frames < 0 || *frames >= per_second) {
        return std::nullopt;
    }
    return (*minutes * 60 + *seconds) * per_second + *frames;
}
