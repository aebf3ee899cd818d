#include "containers/cdrdao_toc.hpp"

#include <algorithm>
#include <array>

#include "containers/sheet_text.hpp"

namespace {

// What each TRACK mode stores a sector as; audio and Form 2 alone hold no
// System Area.
constexpr std::array<track_kind, 8> modes{{
    {"AUDIO", {2352, 0}, false},
    {"MODE1", {2048, 0}, true},
    {"MODE1_RAW", {2352, 16}, true},
    {"MODE2", {2336, 8}, true},
    {"MODE2_FORM1", {2048, 0}, true},
    {"MODE2_FORM2", {2324, 0}, false},
    {"MODE2_FORM_MIX", {2336, 8}, true},
    {"MODE2_RAW", {2352, 24}, true},
}};

// A stretch of a track that a file stores: from `offset` in the file, at
// `start` sectors into the track.
struct segment {
    std::string file;
    std::int64_t offset = 0;
    std::int64_t start = 0;
    std::int64_t sectors = -1;  // -1: to the end of the file
};

struct toc_track {
    track entry;
    bool audio;
    std::vector<segment> segments;
    std::int64_t length = 0;  // sectors so far; -1 once a segment runs to its file's end
    std::int64_t index1 = 0;
};

// Text up to a "//" that no quoted name holds.
std::string_view without_comment(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        quoted = line[i] == '"' ? !quoted : quoted;
        if (!quoted && line[i] == '/' && line[i + 1] == '/') {
            return line.substr(0, i);
        }
    }
    return line;
}

// A length or a position in bytes: mm:ss:ff counts sectors, a plain number
// samples of 4 bytes in an audio track and bytes in a data track. -1 where
// it does not parse.
std::int64_t bytes_of(std::string_view text, const toc_track& t) {
    if (const auto frames = msf_frames(text)) {
        return *frames * t.entry.layout.sector_size;
    }
    const auto number = whole_number(text);
    return number ? *number * (t.audio ? 4 : 1) : -1;
}

// Whole sectors: a partial one is padded.
std::int64_t sectors_of(std::int64_t bytes, const toc_track& t) {
    const std::int64_t size = t.entry.layout.sector_size;
    return (bytes + size - 1) / size;
}

// FILE/AUDIOFILE "name" [#offset] start [length], DATAFILE "name" [#offset]
// [length]; ZERO [mode [subchannel]] length and SILENCE length, which no
// file stores but which move what follows them.
bool add_source(toc_track& t, const std::vector<std::string>& words) {
    if (same_word(words[0], "ZERO") || same_word(words[0], "SILENCE")) {
        const std::int64_t length = bytes_of(words.back(), t);
        if (t.length < 0 || length < 0 || words.size() > 4) {
            return false;
        }
        t.length += sectors_of(length, t);
        return true;
    }
    std::size_t next = 2;
    segment s{words[1], 0, t.length, -1};
    if (next < words.size() && words[next][0] == '#') {
        s.offset = whole_number(std::string_view(words[next++]).substr(1)).value_or(-1);
    }
    if (!same_word(words[0], "DATAFILE")) {
        const std::int64_t start = next < words.size() ? bytes_of(words[next++], t) : -1;
        s.offset = start < 0 || s.offset < 0 ? -1 : s.offset + start;
    }
    const std::int64_t length = next < words.size() ? bytes_of(words[next++], t) : 0;
    if (s.offset < 0 || length < 0 || next != words.size() || t.length < 0) {
        return false;
    }
    // No length, or 0, takes the file to its end.
    s.sectors = length == 0 ? -1 : sectors_of(length, t);
    t.length = s.sectors < 0 ? -1 : t.length + s.sectors;
    t.segments.push_back(s);
    return true;
}

// Where index 1 lies: in a stretch of a file, and the track as listed ends
// where that stretch ends. Audio lists every stretch it stores, so that no
// data track may overlap it.
bool settle(const toc_track& t, track_list& list) {
    for (const segment& s : t.segments) {
        const bool holds_index1 =
            s.start <= t.index1 && (s.sectors < 0 || t.index1 < s.start + s.sectors);
        if (!t.audio && !holds_index1) {
            continue;
        }
        track entry = t.entry;
        const std::int64_t size = entry.layout.sector_size;
        entry.file = s.file;
        entry.offset = s.offset + (t.audio ? 0 : (t.index1 - s.start) * size);
        entry.end = s.sectors < 0 ? -1 : s.offset + s.sectors * size;
        list.push_back(entry);
        if (!t.audio) {
            return true;
        }
    }
    return t.audio;
}

// TRACK mode [RW | RW_RAW]: subchannel bytes follow each stored sector,
// and the patch leaves them be.
bool start_track(std::vector<toc_track>& tracks, const std::vector<std::string>& words) {
    const track_kind* mode = words.size() >= 2 ? kind_named(modes, words[1]) : nullptr;
    const bool subchannel =
        words.size() == 3 && (same_word(words[2], "RW") || same_word(words[2], "RW_RAW"));
    if (mode == nullptr || words.size() != (subchannel ? 3 : 2) || tracks.size() == most_tracks) {
        return false;
    }
    constexpr std::int32_t subchannel_bytes = 96;
    sector_layout layout = mode->layout;
    layout.sector_size += subchannel ? subchannel_bytes : 0;
    tracks.push_back({{"", 0, -1, layout, mode->data, false, 1}, !mode->data, {}, 0, 0});
    return true;
}

// START [mm:ss:ff] puts index 1 inside what the track holds so far;
// PREGAP mm:ss:ff puts it after that many sectors no file stores.
bool mark_start(toc_track& t, const std::vector<std::string>& words) {
    const bool pregap = same_word(words[0], "PREGAP");
    const std::optional<std::int64_t> at =
        words.size() == 2 ? msf_frames(words[1]) : std::optional(t.length);
    const bool well_formed = pregap ? words.size() == 2 : words.size() <= 2;
    if (!well_formed || !at || *at < 0 || (pregap && t.length < 0)) {
        return false;
    }
    t.length += pregap ? *at : 0;
    t.index1 = pregap ? t.length : *at;
    return true;
}

bool read_line(std::vector<toc_track>& tracks, const std::vector<std::string>& words) {
    const std::string& command = words[0];
    if (same_word(command, "TRACK")) {
        return start_track(tracks, words);
    }
    if (tracks.empty()) {
        return true;  // the disc's own header
    }
    constexpr std::array<std::string_view, 5> sources{"FILE", "AUDIOFILE", "DATAFILE", "ZERO",
                                                      "SILENCE"};
    if (std::any_of(sources.begin(), sources.end(),
                    [&command](std::string_view s) { return same_word(command, s); })) {
        return words.size() >= 2 && add_source(tracks.back(), words);
    }
    if (same_word(command, "START") || same_word(command, "PREGAP")) {
        return mark_start(tracks.back(), words);
    }
    // A FIFO's data is in no file, and where the track's later sources
    // begin could only be guessed.
    return !same_word(command, "FIFO");
}

}  // namespace

std::optional<track_list> read_cdrdao_toc(std::string_view table, std::int64_t /*at*/,
                                          std::string_view /*own_name*/) {
    std::vector<toc_track> tracks;
    int depth = 0;  // inside CD_TEXT { ... }, which may span lines
    for (const std::string_view line : sheet_lines(table)) {
        const std::vector<std::string> words = sheet_words(without_comment(line));
        const bool inside = depth > 0;
        for (const std::string& w : words) {
            depth += static_cast<int>(std::count(w.begin(), w.end(), '{') -
                                      std::count(w.begin(), w.end(), '}'));
        }
        if (depth < 0) {
            return std::nullopt;
        }
        if (!inside && depth == 0 && !words.empty() && !read_line(tracks, words)) {
            return std::nullopt;
        }
    }
    track_list list;
    const bool settled = std::all_of(tracks.begin(), tracks.end(),
                                     [&list](const toc_track& t) { return settle(t, list); });
    return tracks.empty() || !settled ? std::nullopt : std::optional(list);
}
