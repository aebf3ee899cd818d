// Alcohol images: NAME.mds, a binary descriptor, beside the data file it names (NAME.mdf).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "containers/track.hpp"

// The tracks its table lists, or none when it does not parse.
std::optional<track_list> read_alcohol(std::string_view table, std::int64_t at,
                                       std::string_view own_name);
