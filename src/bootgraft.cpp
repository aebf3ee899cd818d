// Writes a 32768-byte ip file over the System Area (logical sectors 0-15)
// of a CD image, in place, whatever the image's sector layout.
#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "console.hpp"
#include "sector_layout.hpp"

namespace {

constexpr std::int64_t ip_size = 32768;
constexpr std::int64_t chunk_size = 2048;
constexpr std::int64_t chunk_count = ip_size / chunk_size;

using ip_bytes = std::array<char, ip_size>;

// Paths arrive as UTF-8 on Windows and as raw bytes elsewhere; u8path
// keeps the bytes on POSIX and widens them where the system needs it.
std::filesystem::path file_path(const char* path) { return std::filesystem::u8path(path); }

// -1 when the stream cannot tell: that never passes a size check.
std::int64_t measure(std::iostream& stream) {
    stream.seekg(0, std::ios::end);
    const std::streamoff length = stream.tellg();
    stream.seekg(0, std::ios::beg);
    return length;
}

int fail(const std::string& message) {
    say(message);
    return -1;
}

std::string naming(const char* what, const char* path) {
    return std::string(what) + "(" + path + ")\n";
}

// 0, or the message that refuses the ip file.
int read_ip(const char* ip_path, ip_bytes& ip) {
    std::fstream file(file_path(ip_path), std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        return fail(naming("can't open ip", ip_path));
    }
    if (measure(file) != ip_size) {
        return fail("ip size is not 32768\n");
    }
    // All of it now, so that a file that shrinks or fails to read is
    // refused before the image is touched.
    if (!file.read(ip.data(), ip_size)) {
        return fail(naming("can't read ip", ip_path));
    }
    return 0;
}

bool holds_cd001(std::fstream& image, std::int64_t offset) {
    constexpr std::string_view identifier = "CD001";
    std::array<char, identifier.size()> found{};
    const bool read = static_cast<bool>(image.seekg(offset).read(found.data(), found.size()));
    image.clear();  // a read past the end is an answer, not a broken stream
    return read && std::string_view(found.data(), found.size()) == identifier;
}

bool write_chunks(std::fstream& image, sector_layout layout, const ip_bytes& ip) {
    for (std::int64_t i = 0; i < chunk_count; ++i) {
        image.seekp(layout.data_offset + i * layout.sector_size);
        image.write(ip.data() + i * chunk_size, chunk_size);
    }
    image.flush();
    image.close();
    return !image.fail();
}

// A failed write may have lengthened the image before it stopped; what was
// added is taken away again so the file keeps the length it came with.
void restore_length(const char* image_path, std::int64_t original_length) {
    std::error_code error;
    const std::filesystem::path path = file_path(image_path);
    const std::uintmax_t length = std::filesystem::file_size(path, error);
    if (!error && length > static_cast<std::uintmax_t>(original_length)) {
        std::filesystem::resize_file(path, static_cast<std::uintmax_t>(original_length), error);
    }
}

}  // namespace

int bootgraft(const char* image_path, const char* ip_path) {
    ip_bytes ip{};
    if (read_ip(ip_path, ip) != 0) {
        return -1;
    }
    std::fstream image;
    // Unbuffered, so a write error shows at the write that met it, and the
    // volume descriptor probe reads no more than its five bytes.
    image.rdbuf()->pubsetbuf(nullptr, 0);
    image.open(file_path(image_path), std::ios::in | std::ios::out | std::ios::binary);
    if (!image.is_open()) {
        return fail(naming("can't open image", image_path));
    }
    const std::int64_t image_size = measure(image);
    const std::optional<sector_layout> layout =
        settle_sector_layout(image_size, image_path,
                             [&image](std::int64_t offset) { return holds_cd001(image, offset); });
    if (!layout) {
        return fail("unknown image\n");
    }
    if (image_size < ip_size) {
        return fail("image size is too small\n");
    }
    say("sector size:" + std::to_string(layout->sector_size) + "\n");
    if (!write_chunks(image, *layout, ip)) {
        restore_length(image_path, image_size);
        return fail(naming("can't write image", image_path));
    }
    return 0;
}

int main(int argc, char* argv[]) {
    const std::vector<std::string> args = arguments(argc, argv);
    if (args.size() != 3) {
        return fail(
            "bootgraft <imagefile> <ipgefile>\n patch first 16 sector of cd image\n"
            " support 2048/2336/2352 iso image\n");
    }
    return bootgraft(args[1].c_str(), args[2].c_str());
}
