// The zstd codecs, which this chdman cannot write: hunks compressed here with libzstd, a CD
// frame's sync and parity dropped as the encoder drops them, must decode to the frames.
#include <gtest/gtest.h>
#include <zstd.h>

#include "chd/chd_codecs.hpp"
#include "chd/chd_header.hpp"
#include "sectors/sector_codes.hpp"
#include "support.hpp"

namespace {

std::string zstd(const std::string& bytes) {
    std::string out(ZSTD_compressBound(bytes.size()), '\0');
    out.resize(ZSTD_compress(out.data(), out.size(), bytes.data(), bytes.size(), 3));
    return out;
}

TEST(ChdCodecs, DecodeZstdHunks) {
    raw_sector live{};  // frame 1: a Mode 1 sector with live codes
    const std::string data = mode1 + pattern(2048, 7);
    std::copy(data.begin(), data.end(), live.begin());
    write_codes(live, true);
    const std::string frames = pattern(2352, 3) + std::string(96, '\1') +
                               std::string(live.begin(), live.end()) + pattern(96, 5);
    std::string sectors = frames.substr(0, 2352) + frames.substr(2448, 2352);
    sectors.replace(2352, 12, 12, '\0');
    sectors.replace(2352 + 2076, 276, 276, '\0');
    const std::string base = zstd(sectors);
    std::string cd =
        "\2" + std::string(2, '\0') + base + zstd(std::string(96, '\1') + pattern(96, 5));
    put_big_endian(cd, 1, 2, base.size());
    EXPECT_EQ(decode_hunk(fourcc("cdzs"), cd, 4896), frames);
    EXPECT_EQ(decode_hunk(fourcc("cdzs"), cd.substr(0, cd.size() - 1), 4896), std::nullopt);
    EXPECT_EQ(decode_hunk(fourcc("zstd"), zstd(pattern(4096, 9)), 4096), pattern(4096, 9));
    EXPECT_EQ(decode_hunk(fourcc("zstd"), zstd(pattern(4095, 9)), 4096), std::nullopt);
}

}  // namespace
