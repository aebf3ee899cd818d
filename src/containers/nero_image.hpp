// Nero images (.nrg): the sectors first, then a chunk list, then a footer that points at it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "containers/track.hpp"

// The chunk list, from the footer ("NERO" and a 32-bit or "NER5" and a
// 64-bit big-endian offset) to the end of the file; none without a footer.
std::optional<table_span> nero_footer(std::int64_t size, std::string_view tail);

// The tracks its table lists, or none when it does not parse.
std::optional<track_list> read_nero_chunks(std::string_view table, std::int64_t at,
                                           std::string_view own_name);
