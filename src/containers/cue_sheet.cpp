#include "containers/cue_sheet.hpp"

#include <algorithm>
#include <array>

#include "containers/sheet_text.hpp"

namespace {

// What each TRACK type stores a sector as; audio, CD+G and Form 2 alone
// hold no System Area.
constexpr std::array<track_kind, 10> types{{
    {"AUDIO", {2352, 0}, false},
    {"CDG", {2448, 0}, false},
    {"MODE1/2048", {2048, 0}, true},
    {"MODE1/2352", {2352, 16}, true},
    {"MODE2/2048", {2048, 0}, true},
    {"MODE2/2324", {2324, 0}, false},
    {"MODE2/2336", {2336, 8}, true},
    {"MODE2/2352", {2352, 24}, true},
    {"CDI/2336", {2336, 8}, true},
    {"CDI/2352", {2352, 24}, true},
}};

struct sheet_track {
    track entry;
    std::int64_t index0 = -1;  // positions in frames from the start of the FILE; -1: none
    std::int64_t index1 = -1;
    bool first_in_file = false;
};

// The name between FILE and the type: quoted, or bare and perhaps with blanks.
std::string file_name(std::string_view line, const std::vector<std::string>& words) {
    if (words.size() == 3) {
        return words[1];
    }
    const std::size_t from = line.find_first_not_of(sheet_blanks, line.find_first_of(sheet_blanks));
    const std::size_t to = line.find_last_not_of(sheet_blanks, line.rfind(words.back()) - 1);
    if (from == std::string_view::npos || to == std::string_view::npos || to < from) {
        return words[1];
    }
    return std::string(line.substr(from, to + 1 - from));
}

// Byte offsets from frame positions: the sectors before a track's start in
// its file count at the size of the track they belong to.
bool place(std::vector<sheet_track>& tracks) {
    std::int64_t frames = 0;
    std::int64_t bytes = 0;
    std::int32_t size = 0;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        sheet_track& t = tracks[i];
        const std::int32_t own = t.entry.layout.sector_size;
        if (t.first_in_file) {
            frames = 0;
            bytes = 0;
            size = own;
        }
        const std::int64_t start = t.index0 >= 0 ? t.index0 : t.index1;
        if (t.index1 < 0 || start > t.index1 || start < frames) {
            return false;
        }
        const std::int64_t start_bytes = bytes + (start - frames) * size;
        if (!t.first_in_file) {
            tracks[i - 1].entry.end = start_bytes;
        }
        t.entry.offset = start_bytes + (t.index1 - start) * own;
        frames = t.index1;
        bytes = t.entry.offset;
        size = own;
    }
    return true;
}

// What the lines so far have said.
struct sheet {
    std::vector<sheet_track> tracks;
    std::string file;
    bool binary = false;
    bool new_file = false;
    int session = 1;
};

bool add_track(sheet& cue, const std::string& type_name) {
    const track_kind* type = kind_named(types, type_name);
    if (type == nullptr || cue.tracks.size() == most_tracks || cue.file.empty()) {
        return false;
    }
    const track entry{cue.file, 0, -1, type->layout, type->data && cue.binary, false, cue.session};
    cue.tracks.push_back({entry, -1, -1, cue.new_file});
    cue.new_file = false;
    return true;
}

// INDEX 00 and 01 place the track; later indexes mark points inside it.
bool set_index(sheet& cue, const std::string& number_text, const std::string& position_text) {
    const auto number = whole_number(number_text);
    const auto position = msf_frames(position_text);
    if (!number || !position || cue.tracks.empty()) {
        return false;
    }
    sheet_track& t = cue.tracks.back();
    std::int64_t& index = *number == 0 ? t.index0 : t.index1;
    index = *number <= 1 ? *position : index;
    return true;
}

bool read_line(sheet& cue, std::string_view line) {
    const std::vector<std::string> words = sheet_words(line);
    const bool three = words.size() == 3;
    if (words.empty()) {
        return true;
    }
    if (same_word(words[0], "FILE")) {
        if (words.size() < 3) {
            return false;
        }
        cue.file = file_name(line, words);
        // WAVE, MP3, AIFF and MOTOROLA hold sound, never sectors.
        cue.binary = same_word(words.back(), "BINARY");
        cue.new_file = true;
        return true;
    }
    if (same_word(words[0], "TRACK")) {
        return three && add_track(cue, words[2]);
    }
    if (same_word(words[0], "INDEX")) {
        return three && set_index(cue, words[1], words[2]);
    }
    if (same_word(words[0], "REM") && three && same_word(words[1], "SESSION")) {
        const auto number = whole_number(words[2]);
        cue.session = static_cast<int>(number.value_or(0));
        return number && *number >= 1 && *number <= static_cast<std::int64_t>(most_tracks);
    }
    return true;
}

}  // namespace

std::optional<track_list> read_cue_sheet(std::string_view table, std::int64_t /*at*/,
                                         std::string_view /*own_name*/) {
    sheet cue;
    const std::vector<std::string_view> lines = sheet_lines(table);
    if (!std::all_of(lines.begin(), lines.end(),
                     [&cue](std::string_view line) { return read_line(cue, line); }) ||
        cue.tracks.empty() || !place(cue.tracks)) {
        return std::nullopt;
    }
    track_list list(cue.tracks.size());
    std::transform(cue.tracks.begin(), cue.tracks.end(), list.begin(),
                   [](const sheet_track& t) { return t.entry; });
    return list;
}
