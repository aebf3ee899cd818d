// Frames a 2048-byte ISO as raw CD-ROM XA Mode 2 Form 1 sectors (2352
// bytes each), the way a .bin beside a MODE2/2352 cue sheet stores it.
// EDC/ECC are left zero: the readers under test take only the user data.
#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iostream>

namespace {

char bcd(std::int64_t value) { return static_cast<char>(value / 10 * 16 + value % 10); }

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::cerr << "usage: frame_mode2 <in.iso> <out.bin>\n";
        return 2;
    }
    std::ifstream iso(argv[1], std::ios::binary);
    std::ofstream raw(argv[2], std::ios::binary);
    std::array<char, 2048> data{};
    constexpr std::int64_t lead_in = 150;  // frames before LBA 0 on a disc
    for (std::int64_t lba = 0; iso.read(data.data(), data.size()); ++lba) {
        std::array<char, 2352> sector{};
        std::fill(sector.begin() + 1, sector.begin() + 11, '\xff');  // sync
        const std::int64_t frame = lba + lead_in;
        sector[12] = bcd(frame / (60 * 75));
        sector[13] = bcd(frame / 75 % 60);
        sector[14] = bcd(frame % 75);
        sector[15] = 2;                    // mode
        sector[18] = sector[22] = '\x08';  // subheader submode: data
        std::copy(data.begin(), data.end(), sector.begin() + 24);
        raw.write(sector.data(), sector.size());
    }
    if (!iso.eof() || iso.gcount() != 0 || !raw.flush()) {
        std::cerr << "frame_mode2: input is not whole 2048-byte sectors, or output failed\n";
        return 1;
    }
    return 0;
}
