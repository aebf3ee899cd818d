// One container format's table reader, the track choice after it and the look-up of the names
// it gives, fed inputs that stand for the whole container file. Each target names its format by
// ending; the default keeps lint whole.
#include <algorithm>
#include <cstdlib>

#include "containers/container.hpp"
#include "containers/track_choice.hpp"
#include "containers/track_file_name.hpp"

#ifndef FUZZ_ENDING
#define FUZZ_ENDING ".cue"
#endif

namespace {

constexpr std::string_view own_name = "fuzz" FUZZ_ENDING;

// Every file the tracks name is the input itself. The tool's reader sizes its buffer by `count`:
// a negative one, or a negative offset, is the choice's arithmetic gone wrong.
void choose(const std::optional<track_list>& tracks, std::string_view input) {
    const auto size = static_cast<std::int64_t>(input.size());
    std::map<std::string, std::int64_t> sizes;
    for (const track& t : tracks.value_or(track_list{})) {
        sizes[t.file] = size;
        // The look-up reads the name, and the input as a folder's entry, as text of any letter
        // case.
        static_cast<void>(
            track_file_entry(name_alone(t.file), {std::string(input.substr(0, 255))}));
    }
    choose_track(tracks.value_or(track_list{}), sizes,
                 [&](const std::string&, std::int64_t offset, std::int64_t count) {
                     if (offset < 0 || count < 0) {
                         std::abort();
                     }
                     const auto at = static_cast<std::size_t>(std::min(offset, size));
                     return std::string(input.substr(at, static_cast<std::size_t>(count)));
                 });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t length) {
    const std::string_view input(reinterpret_cast<const char*>(data), length);
    const auto size = static_cast<std::int64_t>(length);
    const container_format format = *container_of(own_name);
    const auto span = format.locate(size, input.substr(length - std::min<std::size_t>(12, length)));
    if (span && trustworthy(*span, size)) {
        const auto table = input.substr(static_cast<std::size_t>(span->offset),
                                        static_cast<std::size_t>(span->length));
        choose(format.read(table, span->offset, own_name), input);
    }
    // A footer that misleads must not keep the fuzzer out of the table's depths; at the file's
    // end, the table leaves every byte to the tracks.
    choose(format.read(input, size, own_name), input);
    return 0;
}
