#include "containers/track_choice.hpp"

#include <algorithm>

namespace {

constexpr std::int64_t system_area_sectors = 16;

std::int64_t sectors(const track& t) { return (t.end - t.offset) / t.layout.sector_size; }

// Ends that run to the end of the file become that length; a track that
// starts or ends past its file, or runs into the next, is a table that
// cannot be trusted with the patch. Tracks in files not opened (audio
// alone) are left as they are.
bool settle_extents(track_list& tracks, const std::map<std::string, std::int64_t>& sizes) {
    std::map<std::string, std::vector<const track*>> by_file;
    for (track& t : tracks) {
        const auto size = sizes.find(t.file);
        if (size == sizes.end()) {
            continue;
        }
        t.end = t.end < 0 ? size->second : t.end;
        if (t.offset < 0 || t.offset > t.end || t.end > size->second ||
            (t.data && t.layout.sector_size <= 0)) {
            return false;
        }
        by_file[t.file].push_back(&t);
    }
    for (auto& [file, in_file] : by_file) {
        std::sort(in_file.begin(), in_file.end(),
                  [](const track* a, const track* b) { return a->offset < b->offset; });
        for (std::size_t i = 1; i < in_file.size(); ++i) {
            if (in_file[i - 1]->end > in_file[i]->offset) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

track_choice choose_track(track_list tracks, const std::map<std::string, std::int64_t>& sizes,
                          const file_reader& read) {
    if (tracks.size() > most_tracks || !settle_extents(tracks, sizes)) {
        return {{}, "unknown image\n"};
    }
    const track* first = nullptr;
    const track* marked = nullptr;
    for (track& t : tracks) {
        if (!t.data) {
            continue;
        }
        if (t.mode_from_header) {
            t.layout = layout_for(t.layout.sector_size, raw_mode1(read(t.file, t.offset, 16)))
                           .value_or(t.layout);
        }
        first = first != nullptr ? first : &t;
        const std::int64_t descriptor =
            t.offset + system_area_sectors * t.layout.sector_size + t.layout.data_offset + 1;
        if (sectors(t) > system_area_sectors && read(t.file, descriptor, 5) == "CD001") {
            marked = &t;
        }
    }
    const track* chosen = marked != nullptr ? marked : first;
    if (chosen == nullptr) {
        return {{}, "unknown image\n"};
    }
    if (sectors(*chosen) < system_area_sectors) {
        return {{}, "image size is too small\n"};
    }
    return {*chosen, ""};
}
