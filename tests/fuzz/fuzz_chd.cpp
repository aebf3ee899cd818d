// The CHD reader fed inputs that stand for a whole CHD file: header, metadata, map, the hunks the
// track choice and the first hunks need; then, since a map's CRC keeps most inputs from any codec,
// every codec fed the input directly, with a hunk size the first byte picks.
#include <array>
#include <cstdlib>

#include "chd/chd_codecs.hpp"
#include "chd/chd_image.hpp"
#include "containers/track_choice.hpp"

namespace {

constexpr std::uint64_t hunks_read = 16;

void read_image(std::string_view input) {
    const auto size = static_cast<std::int64_t>(input.size());
    const auto image = chd_image::open(
        [input, size](std::int64_t offset, std::int64_t count) {
            if (offset < 0 || count < 0) {
                std::abort();
            }
            const auto at = static_cast<std::size_t>(std::min(offset, size));
            return std::string(input.substr(at, static_cast<std::size_t>(count)));
        },
        size, "fuzz.chd");
    if (!image) {
        return;
    }
    const auto logical = static_cast<std::int64_t>(image->header().logical_bytes);
    choose_track(image->tracks(), {{"fuzz.chd", logical}},
                 [&image](const std::string&, std::int64_t offset, std::int64_t count) {
                     return image->image_bytes(offset, count).value_or("");
                 });
    for (std::uint64_t i = 0; i < std::min(image->header().hunk_count(), hunks_read); ++i) {
        static_cast<void>(image->hunk(i));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t length) {
    const std::string_view input(reinterpret_cast<const char*>(data), length);
    read_image(input);
    if (length > 0) {
        constexpr std::array<std::uint32_t, 4> hunk_sizes{2448, 19584, 97920, 4096};
        const std::uint8_t pick = data[0];
        static_cast<void>(decode_hunk(known_codecs[pick % known_codecs.size()], input.substr(1),
                                      hunk_sizes[pick / known_codecs.size() % hunk_sizes.size()]));
    }
    return 0;
}
