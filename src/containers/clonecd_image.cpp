#include "containers/clonecd_image.hpp"

#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "containers/sheet_text.hpp"

namespace {

constexpr std::int32_t raw_size = 2352;
// Far past any disc, and low enough that a position times a sector size
// cannot overflow.
constexpr std::int64_t most_lba = std::int64_t{1} << 32;
constexpr std::int64_t lead_out_point = 0xA2;

struct section {
    std::string kind;  // "Entry", "TRACK", "Disc", ...
    std::string number;
    std::vector<std::pair<std::string_view, std::string_view>> keys;
};

std::string_view trimmed(std::string_view text) {
    const std::size_t from = text.find_first_not_of(" \t");
    if (from == std::string_view::npos) {
        return {};
    }
    return text.substr(from, text.find_last_not_of(" \t") + 1 - from);
}

std::vector<section> sections_of(std::string_view text) {
    std::vector<section> sections;
    for (const std::string_view line : sheet_lines(text)) {
        const std::string_view t = trimmed(line);
        const std::size_t equals = t.find('=');
        if (t.size() > 1 && t.front() == '[' && t.back() == ']') {
            const std::vector<std::string> words = sheet_words(t.substr(1, t.size() - 2));
            sections.push_back(
                {words.empty() ? "" : words[0], words.size() > 1 ? words[1] : "", {}});
        } else if (equals != std::string_view::npos && !sections.empty()) {
            sections.back().keys.emplace_back(trimmed(t.substr(0, equals)),
                                              trimmed(t.substr(equals + 1)));
        }
    }
    return sections;
}

std::optional<std::string_view> value(const section& s, std::string_view key) {
    for (const auto& [k, v] : s.keys) {
        if (same_word(k, key)) {
            return v;
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> number(const section& s, std::string_view key, bool hex = false) {
    const auto text = value(s, key);
    return text ? whole_number(*text, hex) : std::nullopt;
}

// Index 1 as an LBA: PLBA where the entry has it, else its MSF, which
// counts the 150 sectors before LBA 0.
std::optional<std::int64_t> position(const section& s) {
    if (value(s, "PLBA")) {
        const auto lba = number(s, "PLBA");
        return lba && *lba < most_lba ? lba : std::nullopt;
    }
    const auto msf = msf_frames(number(s, "PMin"), number(s, "PSec"), number(s, "PFrame"));
    const std::int64_t lba = msf.value_or(-1) - 150;
    return msf && lba >= 0 && lba < most_lba ? std::optional(lba) : std::nullopt;
}

struct toc_session {
    std::map<std::int64_t, std::pair<std::int64_t, std::int64_t>> tracks;  // point: LBA, control
    std::optional<std::int64_t> lead_out;
};

// Only ADR 1 entries for points 1-99 and the lead-out place anything; the
// rest of the table (first/last track, next session, disc kind) does not.
bool add_entry(const section& s, std::map<std::int64_t, toc_session>& sessions) {
    const auto point = number(s, "Point", true);
    if (!point || number(s, "ADR", true).value_or(1) != 1 || *point == 0 ||
        (*point > static_cast<std::int64_t>(most_tracks) && *point != lead_out_point)) {
        return point.has_value();
    }
    const auto session = number(s, "Session");
    const auto control = number(s, "Control", true);
    const auto lba = position(s);
    if (!session || *session < 1 || !control || !lba) {
        return false;
    }
    toc_session& in = sessions[*session];
    if (*point == lead_out_point) {
        const bool first = !in.lead_out;
        in.lead_out = lba;
        return first;
    }
    return in.tracks.emplace(*point, std::pair(*lba, *control)).second;
}

// The .img keeps each session from its first track to its lead-out, back to
// back: the gap between sessions is not stored.
std::optional<track_list> place(const std::map<std::int64_t, toc_session>& sessions,
                                const std::map<std::int64_t, std::int64_t>& modes,
                                const std::string& file) {
    track_list tracks;
    std::int64_t stored = 0;  // sectors of the sessions before
    std::int64_t last_point = 0;
    int session = 0;
    for (const auto& [n, in] : sessions) {
        if (in.tracks.empty()) {
            continue;
        }
        const std::int64_t first = in.tracks.begin()->second.first;
        if (!in.lead_out) {
            return std::nullopt;
        }
        ++session;
        for (auto it = in.tracks.begin(); it != in.tracks.end(); ++it) {
            const auto [lba, control] = it->second;
            const auto next = std::next(it);
            const std::int64_t stop = next == in.tracks.end() ? *in.lead_out : next->second.first;
            const auto mode = modes.find(it->first);
            const bool data = (control & 0x04) != 0;
            track t{file,
                    (stored + lba - first) * raw_size,
                    (stored + stop - first) * raw_size,
                    {raw_size, 0},
                    data,
                    false,
                    session};
            // A Version 2 file names no mode: the track's first sector will.
            if (data && mode == modes.end()) {
                t.layout = {raw_size, 24};
                t.mode_from_header = true;
            } else if (data && mode->second != 1 && mode->second != 2) {
                return std::nullopt;
            } else if (data) {
                t.layout = layout_for(raw_size, mode->second == 1).value_or(t.layout);
            }
            if (it->first <= last_point || stop < lba) {
                return std::nullopt;
            }
            last_point = it->first;
            tracks.push_back(t);
        }
        stored += *in.lead_out - first;
    }
    return tracks.empty() ? std::nullopt : std::optional(tracks);
}

}  // namespace

std::optional<track_list> read_clonecd(std::string_view table, std::int64_t /*at*/,
                                       std::string_view own_name) {
    std::map<std::int64_t, toc_session> sessions;
    std::map<std::int64_t, std::int64_t> modes;
    for (const section& s : sections_of(table)) {
        if (same_word(s.kind, "Disc") && value(s, "DataTracksScrambled") &&
            number(s, "DataTracksScrambled") != 0) {
            // Scrambled sectors would need unscrambling before any patch.
            return std::nullopt;
        }
        if (same_word(s.kind, "Entry") && !add_entry(s, sessions)) {
            return std::nullopt;
        }
        if (same_word(s.kind, "TRACK") && value(s, "MODE")) {
            const auto n = whole_number(s.number);
            const auto mode = number(s, "MODE");
            if (!n || !mode) {
                return std::nullopt;
            }
            modes[*n] = *mode;
        }
    }
    const std::string stem(own_name.substr(0, own_name.rfind('.')));
    return place(sessions, modes, stem + ".img");
}
