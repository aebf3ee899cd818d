// What the test files share: recognisable bytes, the layouts, the framing
// of raw sectors, and a track list as one line of text.
#pragma once

#include <optional>
#include <string>

#include "containers/track.hpp"
#include "sectors/sector_layout.hpp"

// Bytes that differ from their neighbours and from any other step's, never zero.
inline std::string pattern(std::size_t length, std::size_t step) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((i * step + i / 251) % 255 + 1);
    }
    return bytes;
}

inline constexpr sector_layout iso{2048, 0};
inline constexpr sector_layout cooked{2336, 8};
inline constexpr sector_layout raw{2352, 24};
inline constexpr sector_layout raw1{2352, 16};

// Sync pattern and header.
inline const std::string mode1("\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0\0\2\0\1", 16);
inline const std::string mode2 = mode1.substr(0, 15) + '\2';
inline const std::string unsynced = "\1" + mode1.substr(1);
// Two raw sectors of 2448 bytes: sync pattern at 0 and at 2448.
inline const std::string subchannel = mode1 + std::string(2432, '\0') + mode1;
inline const std::string second_synced = unsynced + subchannel.substr(16);

// "file@offset-end size/data_offset" per track, "d" for data, "h" for a mode its header gives,
// "sN" past session 1.
inline std::string shown(const std::optional<track_list>& tracks) {
    std::string text = tracks ? "" : "refused";
    for (const track& t : tracks.value_or(track_list{})) {
        text += t.file + "@" + std::to_string(t.offset) + "-" + std::to_string(t.end) + " " +
                std::to_string(t.layout.sector_size) + "/" + std::to_string(t.layout.data_offset) +
                (t.data ? "d" : "") + (t.mode_from_header ? "h" : "") +
                (t.session > 1 ? " s" + std::to_string(t.session) : "") + ";";
    }
    return text;
}
