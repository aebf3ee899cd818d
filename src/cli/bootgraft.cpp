// Writes a 32768-byte ip file over the System Area (logical sectors 0-15)
// of a CD image, in place, whatever the image's sector layout.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/chd_patch.hpp"
#include "cli/console.hpp"
#include "cli/file_io.hpp"
#include "cli/system_area.hpp"
#include "sectors/block_patch.hpp"

namespace {

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
void roll_back(const std::string& image_path, std::int64_t length, std::int64_t offset,
               std::string_view original) {
    os_file image;
    if (image.open(image_path, os_file::access::update)) {
        static_cast<void>(image.resize(length));
        static_cast<void>(write_block(image, offset, original));
    }
}

// The one write: the block the image's System Area was read from, patched;
// a CHD is written again whole beside it, under its own lock.
int patch(system_area area, const std::string& ip) {
    say(sector_size_line(area));
    if (area.chd) {
        area.file = os_file();
        return patch_chd(area.path, area.offset, area.layout, ip);
    }
    if (!write_block(area.file, area.offset, patch_block(area.block, area.layout, ip))) {
        roll_back(area.path, area.file_size, area.offset, area.block);
        return fail(naming("can't write image", area.path));
    }
    return 0;
}

}  // namespace

int bootgraft(const char* image_path, const char* ip_path) {
    std::string ip;
    if (read_ip(ip_path, ip) != 0) {
        return -1;
    }
    system_area area = find_system_area(image_path, os_file::access::update);
    return area.refusal.empty() ? patch(std::move(area), ip) : fail(area.refusal);
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
