// Writes a 32768-byte ip file over the System Area (logical sectors 0-15)
// of a CD image, in place, whatever the image's sector layout: the command
// over the engine, with the system's files.
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "cli/console.hpp"
#include "engine/engine.hpp"
#include "platform/native_storage.hpp"
#include "platform/os_file.hpp"
#include "sectors/block_patch.hpp"

namespace {

// 0, or the message that refuses the ip file.
int read_ip(const std::string& ip_path, std::string& ip) {
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

}  // namespace

int main(int argc, char* argv[]) {
    // Past a file-size limit the write fails and the image is rolled back.
    keep_running_past_size_limits();
    const std::vector<std::string> args = arguments(argc, argv);
    if (args.size() != 3) {
        return fail(
            "bootgraft <imagefile> <ipgefile>\n patch first 16 sector of cd image\n"
            " support 2048/2336/2352 iso image\n");
    }
    std::string ip;
    if (read_ip(args[2], ip) != 0) {
        return -1;
    }
    native_storage files;
    console_report report;
    return patch_image(files, report, args[1], ip,
                       std::max(1U, std::thread::hardware_concurrency()));
}
