// CloneCD images: NAME.ccd, a table of contents in INI text, beside NAME.img, its raw sectors.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "containers/track.hpp"

// The tracks its table lists, or none when it does not parse.
std::optional<track_list> read_clonecd(std::string_view table, std::int64_t at,
                                       std::string_view own_name);
