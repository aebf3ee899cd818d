#include "containers/container.hpp"

#include <algorithm>
#include <array>

#include "containers/alcohol_image.hpp"
#include "containers/cdrdao_toc.hpp"
#include "containers/clonecd_image.hpp"
#include "containers/cue_sheet.hpp"
#include "containers/discjuggler_image.hpp"
#include "containers/nero_image.hpp"
#include "containers/sheet_text.hpp"

namespace {

// Descriptors and sheets are tables from their first byte to their last.
std::optional<table_span> whole_file(std::int64_t size, std::string_view /*tail*/) {
    return table_span{0, size};
}

struct named_format {
    std::string_view ending;
    container_format format;
};

const std::array<named_format, 6> formats{{
    {".cue", {whole_file, read_cue_sheet, false}},
    {".toc", {whole_file, read_cdrdao_toc, false}},
    {".nrg", {nero_footer, read_nero_chunks, true}},
    {".ccd", {whole_file, read_clonecd, false}},
    {".mds", {whole_file, read_alcohol, false}},
    {".cdi", {discjuggler_footer, read_discjuggler, true}},
}};

// A table written on any system may use either separator; a path given
// to this tool uses its own system's.
std::size_t name_start(std::string_view path, std::string_view separators = "/\\") {
    const std::size_t separator = path.find_last_of(separators);
    return separator == std::string_view::npos ? 0 : separator + 1;
}

}  // namespace

std::optional<container_format> container_of(std::string_view path) {
    const auto* named = std::find_if(formats.begin(), formats.end(), [path](const named_format& f) {
        return ends_with_word(path, f.ending);
    });
    return named == formats.end() ? std::nullopt : std::optional(named->format);
}

bool trustworthy(table_span span, std::int64_t size) {
    return span.offset >= 0 && span.length >= 0 && span.length <= most_table_bytes &&
           span.offset <= size && span.length <= size - span.offset;
}

std::string name_alone(std::string_view name) { return std::string(name.substr(name_start(name))); }

std::string folder_of(std::string_view container_path) {
#ifdef _WIN32
    constexpr std::string_view own_separators = "/\\";
#else
    constexpr std::string_view own_separators = "/";
#endif
    return std::string(container_path.substr(0, name_start(container_path, own_separators)));
}

std::string beside(std::string_view container_path, std::string_view name) {
    return folder_of(container_path) + name_alone(name);
}
