// Reads the System Area (the user data of logical sectors 0-15) of a CD
// image out into a new ip file, or to standard output, from wherever
// bootgraft would write it. The image is only ever read.
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/console.hpp"
#include "engine/engine.hpp"
#include "platform/native_storage.hpp"
#include "platform/os_file.hpp"

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

int main(int argc, char* argv[]) {
    // Past a file-size limit the write fails and the partial ip file goes.
    keep_running_past_size_limits();
    const std::vector<std::string> args = arguments(argc, argv);
    if (args.size() != 3) {
        return fail(
            "bootgraft-extract <imagefile> <ipfile>\n read first 16 sector of cd image\n"
            " support 2048/2336/2352 iso image\n");
    }
    const std::string& ip_path = args[2];
    const bool to_output = ip_path == "-";
    if (to_output) {
        say_aside_from_data();  // the ip file's bytes alone go to standard output
    }
    native_storage files;
    const extraction taken = extract_system_area(files, args[1]);
    if (!taken.refusal.empty()) {
        return fail(taken.refusal);
    }
    if (!to_output) {
        return write_ip(ip_path, taken.sector_line, taken.ip);
    }
    say(taken.sector_line);
    return write_out(taken.ip) ? 0 : fail(naming("can't write ip", ip_path));
}
