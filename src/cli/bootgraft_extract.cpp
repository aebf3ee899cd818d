// Reads the System Area (the user data of logical sectors 0-15) of a CD
// image out into a new ip file, or to standard output, from wherever
// bootgraft would write it. The image is only ever read.
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/console.hpp"
#include "cli/file_io.hpp"
#include "cli/system_area.hpp"
#include "sectors/block_patch.hpp"

namespace {

// Only a file that did not exist is written, so that swapped arguments
// can never overwrite an image; a file left half-written is removed.
int write_ip(const std::string& ip_path, const std::string& sector_line, const std::string& ip) {
    const std::filesystem::path path = std::filesystem::u8path(ip_path);
    std::error_code error;
    os_file file;
    if (!file.open(ip_path, os_file::access::create_new)) {
        const bool exists = std::filesystem::symlink_status(path, error).type() !=
                            std::filesystem::file_type::not_found;
        return fail(naming(exists ? "ip file exists" : "can't write ip", ip_path));
    }
    say(sector_line);
    const bool written = file.write_at(0, ip);
    if (!file.close() || !written) {
        std::filesystem::remove(path, error);
        return fail(naming("can't write ip", ip_path));
    }
    return 0;
}

}  // namespace

int extract(const std::string& image_path, const std::string& ip_path) {
    const bool to_output = ip_path == "-";
    if (to_output) {
        say_aside_from_data();  // the ip file's bytes alone go to standard output
    }
    const system_area area = find_system_area(image_path, os_file::access::read);
    if (!area.refusal.empty()) {
        return fail(area.refusal);
    }
    // bootgraft lengthens a plain image too short for its System Area;
    // what is not there cannot be read out.
    if (static_cast<std::int64_t>(area.block.size()) < std::int64_t{16} * area.layout.sector_size) {
        return fail("image size is too small\n");
    }
    const std::string ip = user_data(area.block, area.layout);
    const std::string sector_line = sector_size_line(area);
    if (!to_output) {
        return write_ip(ip_path, sector_line, ip);
    }
    say(sector_line);
    return write_out(ip) ? 0 : fail(naming("can't write ip", ip_path));
}

int main(int argc, char* argv[]) {
    // Past a file-size limit the write fails and the partial ip file goes.
    keep_running_past_size_limits();
    const std::vector<std::string> args = arguments(argc, argv);
    if (args.size() != 3) {
        return fail(
            "bootgraft-extract <imagefile> <ipfile>\n read first 16 sector of cd image\n"
            " support 2048/2336/2352 iso image\n");
    }
    return extract(args[1], args[2]);
}
