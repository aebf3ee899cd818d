#include "cue_sheet.hpp"

std::optional<track_list> read_cue_sheet(std::string_view /*table*/, std::int64_t /*at*/,
                                         std::string_view /*own_name*/) {
    return std::nullopt;
}
