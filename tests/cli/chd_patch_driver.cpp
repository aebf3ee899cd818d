// The patch command's CHD path until the tool takes it: the track chosen as
// for any container, then the patch. Arguments: image, ip file.
#include <fstream>
#include <iterator>

#include "chd/chd_image.hpp"
#include "cli/chd_patch.hpp"
#include "cli/console.hpp"
#include "cli/file_io.hpp"
#include "containers/track_choice.hpp"

int main(int argc, char** argv) {
    keep_running_past_size_limits();
    os_file file;
    std::ifstream ip_file(argc == 3 ? argv[2] : "", std::ios::binary);
    const std::string ip(std::istreambuf_iterator<char>(ip_file), {});
    if (!file.open(argv[1], os_file::access::read)) {
        return 2;
    }
    const auto read = [&file](std::int64_t offset, std::int64_t count) {
        return file.read_at(offset, count);
    };
    const auto image = chd_image::open(read, file.size(), "chd");
    if (!image || ip.size() != 32768) {
        return 2;
    }
    const auto size = static_cast<std::int64_t>(image->header().logical_bytes);
    const track_choice choice = choose_track(image->tracks(), {{"chd", size}},
                                             [&image](const std::string&, auto at, auto n) {
                                                 return image->image_bytes(at, n).value_or("");
                                             });
    if (!choice.refusal.empty()) {
        say(choice.refusal);
        return 1;
    }
    file = os_file();
    return patch_chd(argv[1], choice.chosen.offset, choice.chosen.layout, ip);
}
