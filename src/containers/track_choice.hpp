// Which track of a container the patch goes to, and whether the table can
// be trusted that far.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "containers/track.hpp"

// The bytes of `file` from `offset`: `count` of them, fewer at its end.
using file_reader =
    std::function<std::string(const std::string& file, std::int64_t offset, std::int64_t count)>;

struct track_choice {
    track chosen;
    std::string refusal;  // the message that refuses the image; empty once a track is chosen
};

// `sizes` holds the length of every file that stores a data track. Tracks
// in those files must lie inside them and apart from each other. Of the
// data tracks, the last whose own sector 16 holds "CD001" is chosen (a
// drive reads the last session's volume), else the first; it must hold 16
// whole sectors, since inside a container the patch may never grow a file.
track_choice choose_track(track_list tracks, const std::map<std::string, std::int64_t>& sizes,
                          const file_reader& read);
