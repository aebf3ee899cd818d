#include "engine/system_area.hpp"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "chd/chd_image.hpp"
#include "containers/container.hpp"
#include "containers/track_choice.hpp"
#include "engine/messages.hpp"
#include "engine/track_file_lookup.hpp"
#include "sectors/block_patch.hpp"

namespace {

system_area refused(std::string line) {
    system_area area;
    area.refusal = std::move(line);
    return area;
}

system_area read_block(system_area area, std::int64_t length) {
    area.block = area.file->read_at(area.offset, length);
    if (static_cast<std::int64_t>(area.block.size()) != length) {
        return refused(naming("can't read image", area.path));
    }
    return area;
}

// An image that is its own single track, from byte 0.
system_area plain_image(storage& files, const std::string& image_path, file_access how) {
    system_area area;
    area.file = files.open(image_path, how);
    if (!area.file) {
        return refused(naming("can't open image", image_path));
    }
    const stored_file& image = *area.file;
    const std::int64_t image_size = image.size();
    constexpr std::int64_t evidence = 2448 + 12;  // the first raw sector and the next one's sync
    const std::optional<sector_layout> layout = detect_sector_layout(
        image_size, image_path.c_str(), image.read_at(0, evidence),
        [&image](std::int64_t offset) { return image.read_at(offset, 5) == "CD001"; });
    if (!layout) {
        return refused("unknown image\n");
    }
    if (image_size < ip_size) {
        return refused("image size is too small\n");
    }
    area.path = image_path;
    area.file_size = image_size;
    area.layout = *layout;
    return read_block(std::move(area), block_length(*layout, image_size));
}

// The files that hold data tracks, each opened once: the container itself
// where it holds its sectors (the user chose it, link or not), else a
// regular file that really lies beside the sheet (track_file_lookup.hpp),
// and never the sheet itself, which is only ever read.
using track_files = std::map<std::string, track_file>;

// The line that refuses one of them; empty when all opened.
std::string open_track_files(storage& files, const std::string& container_path, bool sheet,
                             const track_list& tracks, file_access how, track_files& opened,
                             std::map<std::string, std::int64_t>& sizes) {
    for (const track& t : tracks) {
        if (!t.data || opened.count(t.file) != 0) {
            continue;
        }
        track_file& file = opened[t.file];
        if (sheet) {
            file = open_track_file(files, container_path, t.file, how);
        } else {
            file.file = files.open(container_path, how);
            if (file.file && file.file->regular_file()) {
                file.path = container_path;
            }
        }
        if (file.path.empty() || (sheet && files.same_file(file.path, container_path))) {
            return naming("can't open image", beside(container_path, t.file));
        }
        sizes[t.file] = file.file->size();
    }
    return {};
}

// A container: its table says which file holds which track. The container
// itself is only read here; the files of its data tracks are opened as
// asked, the container again among them where it holds its sectors.
system_area container_image(storage& files, const container_format& format,
                            const std::string& image_path, file_access how) {
    // A pipe or a device under a container's name would be waited on, not read.
    const std::unique_ptr<stored_file> opened = files.open(image_path, file_access::read);
    if (!opened || !opened->regular_file()) {
        return refused(naming("can't open image", image_path));
    }
    const stored_file& container = *opened;
    const std::int64_t size = container.size();
    constexpr std::int64_t footer = 12;
    const std::optional<table_span> span =
        format.locate(size, container.read_at(std::max<std::int64_t>(size - footer, 0), footer));
    if (!span) {
        return plain_image(files, image_path, how);
    }
    if (!trustworthy(*span, size)) {
        return refused("unknown image\n");
    }
    const std::string table = container.read_at(span->offset, span->length);
    if (static_cast<std::int64_t>(table.size()) != span->length) {
        return refused(naming("can't read image", image_path));
    }
    std::optional<track_list> tracks = format.read(table, span->offset, name_alone(image_path));
    // A name holding a NUL byte names no file any system allows: such a
    // table does not parse.
    const auto unnamable = [](const track& t) { return t.file.find('\0') != std::string::npos; };
    if (!tracks || std::any_of(tracks->begin(), tracks->end(), unnamable)) {
        return refused("unknown image\n");
    }
    for (track& t : *tracks) {
        t.file = name_alone(t.file);
    }
    track_files opened_files;
    std::map<std::string, std::int64_t> sizes;
    std::string refusal = open_track_files(files, image_path, !format.holds_tracks, *tracks, how,
                                           opened_files, sizes);
    if (!refusal.empty()) {
        return refused(refusal);
    }
    const track_choice choice = choose_track(
        *tracks, sizes,
        [&opened_files](const std::string& name, std::int64_t offset, std::int64_t count) {
            const auto file = opened_files.find(name);
            return file == opened_files.end() ? std::string()
                                              : file->second.file->read_at(offset, count);
        });
    if (!choice.refusal.empty()) {
        return refused(choice.refusal);
    }
    const track& chosen = choice.chosen;
    track_file& file = opened_files[chosen.file];
    system_area area;
    area.path = file.path;
    area.file = std::move(file.file);
    area.file_size = sizes[chosen.file];
    area.offset = chosen.offset;
    area.layout = chosen.layout;
    return read_block(std::move(area), block_length(chosen.layout, chosen.end - chosen.offset));
}

// A CHD, opened as `area.file`, only read here: one file of decoded bytes whose
// tracks its metadata lists. Whatever the reader refuses is no image here.
system_area chd_image_area(system_area area) {
    const stored_file& file = *area.file;
    area.file_size = file.size();
    const std::optional<chd_image> image = chd_image::open(
        [&file](std::int64_t offset, std::int64_t count) { return file.read_at(offset, count); },
        area.file_size, area.path);
    if (!image) {
        return refused("unknown image\n");
    }
    const track_choice choice = choose_track(
        image->tracks(), {{area.path, static_cast<std::int64_t>(image->header().logical_bytes)}},
        [&image](const std::string&, std::int64_t offset, std::int64_t count) {
            return image->image_bytes(offset, count).value_or(std::string());
        });
    if (!choice.refusal.empty()) {
        return refused(choice.refusal);
    }
    const track& chosen = choice.chosen;
    // A hunk of them that does not decode, or fails its CRC, is damage.
    const std::optional<std::string> block =
        image->image_bytes(chosen.offset, block_length(chosen.layout, chosen.end - chosen.offset));
    if (!block) {
        return refused("unknown image\n");
    }
    area.chd = true;
    area.offset = chosen.offset;
    area.layout = chosen.layout;
    area.shown_size = chosen.shown_size;
    area.block = *block;
    return area;
}

}  // namespace

system_area find_system_area(storage& files, const std::string& image_path, file_access how) {
    // Opened as `how` says, so that a read-only CHD is refused as any image
    // is, though the patch renames a new file over it.
    system_area chd;
    chd.path = image_path;
    chd.file = files.open(image_path, how);
    if (chd.file && chd.file->regular_file() && is_chd(chd.file->read_at(0, 8))) {
        return chd_image_area(std::move(chd));
    }
    chd.file.reset();
    const std::optional<container_format> format = container_of(image_path);
    return format ? container_image(files, *format, image_path, how)
                  : plain_image(files, image_path, how);
}

std::string sector_size_line(const system_area& area) {
    const std::int32_t size = area.shown_size != 0 ? area.shown_size : area.layout.sector_size;
    return "sector size:" + std::to_string(size) + "\n";
}
