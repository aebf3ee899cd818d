#include "alcohol_image.hpp"

std::optional<track_list> read_alcohol(std::string_view /*table*/, std::int64_t /*at*/,
                                       std::string_view /*own_name*/) {
    return std::nullopt;
}
