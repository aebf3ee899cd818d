// Writes a 32768-byte ip file over the System Area (logical sectors 0-15)
// of a CD image, in place, whatever the image's sector layout.
#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/console.hpp"
#include "cli/file_io.hpp"
#include "containers/container.hpp"
#include "containers/track_choice.hpp"
#include "sectors/block_patch.hpp"
#include "sectors/sector_layout.hpp"

namespace {

int fail(const std::string& message) {
    say(message);
    return -1;
}

std::string naming(const char* what, const char* path) {
    return std::string(what) + "(" + path + ")\n";
}

// 0, or the message that refuses the ip file.
int read_ip(const char* ip_path, std::string& ip) {
    os_file file;
    if (!file.open(ip_path, os_file::access::read)) {
        return fail(naming("can't open ip", ip_path));
    }
    if (file.size() != ip_size) {
        return fail("ip size is not 32768\n");
    }
    // All of it now, so that a file that shrinks or fails to read is
    // refused before the image is touched.
    ip = file.read_at(0, ip_size);
    if (static_cast<std::int64_t>(ip.size()) != ip_size) {
        return fail(naming("can't read ip", ip_path));
    }
    return 0;
}

// The block goes back where it was read. Closing is part of the write: a
// system may report a failed write only there.
bool write_block(os_file& image, std::int64_t offset, std::string_view bytes) {
    const bool written = image.write_at(offset, bytes);
    return image.close() && written;
}

// After a failed write: first the length it came with (the patch never
// shortens an image), which frees what growth took on a full disk, then the
// bytes the patch replaced. Whatever the system still refuses here, the
// message that follows reports.
void roll_back(const char* image_path, std::int64_t length, std::int64_t offset,
               std::string_view original) {
    os_file image;
    if (image.open(image_path, os_file::access::update)) {
        static_cast<void>(image.resize(length));
        static_cast<void>(write_block(image, offset, original));
    }
}

// The one read and the one write: `length` bytes from `offset`, the first
// 16 sectors of `layout` there, patched.
int patch_at(os_file& image, const char* image_path, std::int64_t image_size, std::int64_t offset,
             sector_layout layout, std::int64_t length, const std::string& ip) {
    const std::string original = image.read_at(offset, length);
    if (static_cast<std::int64_t>(original.size()) != length) {
        return fail(naming("can't read image", image_path));
    }
    say("sector size:" + std::to_string(layout.sector_size) + "\n");
    if (!write_block(image, offset, patch_block(original, layout, ip))) {
        roll_back(image_path, image_size, offset, original);
        return fail(naming("can't write image", image_path));
    }
    return 0;
}

// An image that is its own single track, from byte 0.
int patch_plain(const char* image_path, const std::string& ip) {
    os_file image;
    if (!image.open(image_path, os_file::access::update)) {
        return fail(naming("can't open image", image_path));
    }
    const std::int64_t image_size = image.size();
    constexpr std::int64_t evidence = 2448 + 12;  // the first raw sector and the next one's sync
    const std::optional<sector_layout> layout = detect_sector_layout(
        image_size, image_path, image.read_at(0, evidence),
        [&image](std::int64_t offset) { return image.read_at(offset, 5) == "CD001"; });
    if (!layout) {
        return fail("unknown image\n");
    }
    if (image_size < ip_size) {
        return fail("image size is too small\n");
    }
    return patch_at(image, image_path, image_size, 0, *layout, block_length(*layout, image_size),
                    ip);
}

// The files that hold data tracks, each opened for update once: a track
// file must be a regular file beside the container, and never a sheet
// itself, which is only ever read.
struct track_file {
    std::string path;
    os_file handle;
};

using track_files = std::map<std::string, track_file>;

int open_track_files(const std::string& container_path, bool sheet, const track_list& tracks,
                     track_files& files, std::map<std::string, std::int64_t>& sizes) {
    for (const track& t : tracks) {
        if (!t.data || files.count(t.file) != 0) {
            continue;
        }
        track_file& file = files[t.file];
        file.path = beside(container_path, t.file);
        std::error_code error;
        if (!file.handle.open(file.path, os_file::access::update) || !file.handle.regular_file() ||
            (sheet &&
             std::filesystem::equivalent(std::filesystem::u8path(file.path),
                                         std::filesystem::u8path(container_path), error))) {
            return fail(naming("can't open image", file.path.c_str()));
        }
        sizes[t.file] = file.handle.size();
    }
    return 0;
}

// A container: its table says which file holds which track. The container
// itself is only read here; the files of its data tracks are opened for
// the patch, the container again among them where it holds its sectors.
int patch_container(const container_format& format, const char* image_path, const std::string& ip) {
    // A pipe or a device under a container's name would be waited on, not read.
    os_file container;
    if (!container.open(image_path, os_file::access::read) || !container.regular_file()) {
        return fail(naming("can't open image", image_path));
    }
    const std::int64_t size = container.size();
    constexpr std::int64_t footer = 12;
    const std::optional<table_span> span =
        format.locate(size, container.read_at(std::max<std::int64_t>(size - footer, 0), footer));
    if (!span) {
        return patch_plain(image_path, ip);
    }
    if (!trustworthy(*span, size)) {
        return fail("unknown image\n");
    }
    const std::string table = container.read_at(span->offset, span->length);
    if (static_cast<std::int64_t>(table.size()) != span->length) {
        return fail(naming("can't read image", image_path));
    }
    std::optional<track_list> tracks = format.read(table, span->offset, name_alone(image_path));
    if (!tracks) {
        return fail("unknown image\n");
    }
    for (track& t : *tracks) {
        t.file = name_alone(t.file);
    }
    track_files files;
    std::map<std::string, std::int64_t> sizes;
    if (open_track_files(image_path, !format.holds_tracks, *tracks, files, sizes) != 0) {
        return -1;
    }
    const track_choice choice = choose_track(
        *tracks, sizes, [&files](const std::string& name, std::int64_t offset, std::int64_t count) {
            const auto file = files.find(name);
            return file == files.end() ? std::string() : file->second.handle.read_at(offset, count);
        });
    if (!choice.refusal.empty()) {
        return fail(choice.refusal);
    }
    const track& chosen = choice.chosen;
    track_file& file = files[chosen.file];
    return patch_at(file.handle, file.path.c_str(), sizes[chosen.file], chosen.offset,
                    chosen.layout, block_length(chosen.layout, chosen.end - chosen.offset), ip);
}

}  // namespace

int bootgraft(const char* image_path, const char* ip_path) {
    std::string ip;
    if (read_ip(ip_path, ip) != 0) {
        return -1;
    }
    const std::optional<container_format> format = container_of(image_path);
    return format ? patch_container(*format, image_path, ip) : patch_plain(image_path, ip);
}

int main(int argc, char* argv[]) {
    // Past a file-size limit the write fails and the image is rolled back.
    keep_running_past_size_limits();
    const std::vector<std::string> args = arguments(argc, argv);
    if (args.size() != 3) {
        return fail(
            "bootgraft <imagefile> <ipgefile>\n patch first 16 sector of cd image\n"
            " support 2048/2336/2352 iso image\n");
    }
    return bootgraft(args[1].c_str(), args[2].c_str());
}
