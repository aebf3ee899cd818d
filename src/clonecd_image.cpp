#include "clonecd_image.hpp"

std::optional<track_list> read_clonecd(std::string_view /*table*/, std::int64_t /*at*/,
                                       std::string_view /*own_name*/) {
    return std::nullopt;
}
