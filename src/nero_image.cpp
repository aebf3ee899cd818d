#include "nero_image.hpp"

std::optional<track_list> read_nero_chunks(std::string_view /*table*/, std::int64_t /*at*/,
                                           std::string_view /*own_name*/) {
    return std::nullopt;
}

std::optional<table_span> nero_footer(std::int64_t /*size*/, std::string_view /*tail*/) {
    return std::nullopt;
}
