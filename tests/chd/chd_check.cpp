// Reads a CHD through the library as the tool will: prints each track
// (offset, end, sector size and data offset, shown size, data), checks that
// its map coded again is the file's, and that the decoded image's SHA1
// (printed) is the one the header keeps.
#include <cstdio>
#include <fstream>

#include "chd/chd_image.hpp"
#include "chd/chd_map_writer.hpp"
#include "chd/chd_sha1.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    const auto image = chd_image::open(
        [&bytes](std::int64_t offset, std::int64_t count) {
            return bytes.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
        },
        static_cast<std::int64_t>(bytes.size()), "disc");
    if (!image) {
        std::printf("refused\n");
        return 1;
    }
    for (const track& t : image->tracks()) {
        std::printf("%lld %lld %d %d %d %d\n", static_cast<long long>(t.offset),
                    static_cast<long long>(t.end), t.layout.sector_size, t.layout.data_offset,
                    t.shown_size, t.data ? 1 : 0);
    }
    // The map coded again is chdman's, bit for bit: its coder is the oracle.
    const chd_header& header = image->header();
    const std::string map = header.compressed()
                                ? compressed_map(image->map().entries)
                                : uncompressed_map(image->map().entries, header.hunk_bytes);
    if (header.map_offset > bytes.size() ||
        bytes.compare(static_cast<std::size_t>(header.map_offset), map.size(), map) != 0) {
        std::printf("map coded otherwise\n");
        return 1;
    }
    sha1_hash sha;
    std::uint64_t left = header.logical_bytes;
    for (std::uint64_t i = 0; i < header.hunk_count(); ++i) {
        const auto hunk = image->hunk(i);
        if (!hunk) {
            std::printf("hunk %llu does not decode\n", static_cast<unsigned long long>(i));
            return 1;
        }
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(left, hunk->size()));
        sha.add(std::string_view(*hunk).substr(0, take));
        left -= take;
    }
    const chd_sha1 digest = sha.digest();
    const bool zero = header.raw_sha1 == chd_sha1{};
    for (const std::uint8_t b : digest) {
        std::printf("%02x", b);
    }
    std::printf("%s\n", digest == header.raw_sha1 ? " ok" : zero ? " unchecked" : " wrong");
    return digest == header.raw_sha1 || zero ? 0 : 1;
}
