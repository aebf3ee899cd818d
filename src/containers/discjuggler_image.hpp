// DiscJuggler images (.cdi): the sectors first, then a descriptor, then an 8-byte footer.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "containers/track.hpp"

// The descriptor and the footer after it, from the footer's version and
// offset; a table span of length -1 where the footer makes no sense.
std::optional<table_span> discjuggler_footer(std::int64_t size, std::string_view tail);

// The tracks its table lists, or none when it does not parse.
std::optional<track_list> read_discjuggler(std::string_view table, std::int64_t at,
                                           std::string_view own_name);
