// Writes a 32768-byte ip file over the System Area (logical sectors 0-15)
// of a CD image, in place, whatever the image's sector layout.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "block_patch.hpp"
#include "console.hpp"
#include "sector_layout.hpp"

namespace {

// Paths arrive as UTF-8 on Windows and as raw bytes elsewhere; u8path
// keeps the bytes on POSIX and widens them where the system needs it.
std::filesystem::path file_path(const char* path) { return std::filesystem::u8path(path); }

// -1 when the stream cannot tell: that never passes a size check. Every
// read after it says where it starts.
std::int64_t measure(std::fstream& stream) { return stream.seekg(0, std::ios::end).tellg(); }

// Up to `count` bytes from `offset`: fewer at the end of the file, none
// where it cannot be read. The stream stays usable either way.
std::string read_at(std::fstream& stream, std::int64_t offset, std::int64_t count) {
    std::string bytes(static_cast<std::size_t>(count), '\0');
    stream.seekg(offset).read(bytes.data(), count);
    bytes.resize(static_cast<std::size_t>(stream.gcount()));
    stream.clear();
    return bytes;
}

// The block goes back where it was read, from byte 0. Closing is part of
// the write: a system may report a failed write only there.
bool write_block(std::fstream& stream, std::string_view bytes) {
    stream.seekp(0).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    stream.close();
    return !stream.fail();
}

int fail(const std::string& message) {
    say(message);
    return -1;
}

std::string naming(const char* what, const char* path) {
    return std::string(what) + "(" + path + ")\n";
}

// 0, or the message that refuses the ip file.
int read_ip(const char* ip_path, std::string& ip) {
    std::fstream file(file_path(ip_path), std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        return fail(naming("can't open ip", ip_path));
    }
    if (measure(file) != ip_size) {
        return fail("ip size is not 32768\n");
    }
    // All of it now, so that a file that shrinks or fails to read is
    // refused before the image is touched.
    ip = read_at(file, 0, ip_size);
    if (static_cast<std::int64_t>(ip.size()) != ip_size) {
        return fail(naming("can't read ip", ip_path));
    }
    return 0;
}

// Unbuffered, so that a write error shows at the write that met it and a
// probe reads no more than it asks for.
bool open_image(std::fstream& image, const char* image_path) {
    image.rdbuf()->pubsetbuf(nullptr, 0);
    image.open(file_path(image_path), std::ios::in | std::ios::out | std::ios::binary);
    return image.is_open();
}

// After a failed write: first the length it came with (the patch never
// shortens an image), which frees what growth took on a full disk, then the
// bytes the patch replaced. Whatever the system still refuses here, the
// message that follows reports.
void roll_back(const char* image_path, std::int64_t length, std::string_view original) {
    std::error_code error;
    std::filesystem::resize_file(file_path(image_path), static_cast<std::uintmax_t>(length), error);
    std::fstream image;
    if (open_image(image, image_path)) {
        static_cast<void>(write_block(image, original));
    }
}

}  // namespace

int bootgraft(const char* image_path, const char* ip_path) {
    std::string ip;
    if (read_ip(ip_path, ip) != 0) {
        return -1;
    }
    std::fstream image;
    if (!open_image(image, image_path)) {
        return fail(naming("can't open image", image_path));
    }
    const std::int64_t image_size = measure(image);
    const std::optional<sector_layout> layout = detect_sector_layout(
        image_size, image_path, read_at(image, 0, 16),
        [&image](std::int64_t offset) { return read_at(image, offset, 5) == "CD001"; });
    if (!layout) {
        return fail("unknown image\n");
    }
    if (image_size < ip_size) {
        return fail("image size is too small\n");
    }
    const std::int64_t length = block_length(*layout, image_size);
    const std::string original = read_at(image, 0, length);
    if (static_cast<std::int64_t>(original.size()) != length) {
        return fail(naming("can't read image", image_path));
    }
    say("sector size:" + std::to_string(layout->sector_size) + "\n");
    if (!write_block(image, patch_block(original, *layout, ip))) {
        roll_back(image_path, image_size, original);
        return fail(naming("can't write image", image_path));
    }
    return 0;
}

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
    // Past a file-size limit the write fails and the image is rolled back,
    // where the signal's default would kill the tool half-way through.
    static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
#endif
    const std::vector<std::string> args = arguments(argc, argv);
    if (args.size() != 3) {
        return fail(
            "bootgraft <imagefile> <ipgefile>\n patch first 16 sector of cd image\n"
            " support 2048/2336/2352 iso image\n");
    }
    return bootgraft(args[1].c_str(), args[2].c_str());
}
