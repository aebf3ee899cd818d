#include "discjuggler_image.hpp"

std::optional<track_list> read_discjuggler(std::string_view /*table*/, std::int64_t /*at*/,
                                           std::string_view /*own_name*/) {
    return std::nullopt;
}

std::optional<table_span> discjuggler_footer(std::int64_t /*size*/, std::string_view /*tail*/) {
    return table_span{};
}
