#include "chd/chd_hunk_encoder.hpp"

#include <zlib.h>

#include <algorithm>
#include <memory>

#include "chd/chd_codecs.hpp"
#include "chd/chd_header.hpp"
#include "chd/chd_map.hpp"
#include "sectors/sector_codes.hpp"
#include "sectors/sector_layout.hpp"

namespace {

constexpr std::size_t parity_at = 2076;

raw_sector as_sector(std::string_view frame) {
    raw_sector sector{};
    std::transform(frame.begin(), frame.begin() + cd_sector_bytes, sector.begin(),
                   [](char c) { return static_cast<std::uint8_t>(c); });
    return sector;
}

// The sync and the parity a reader makes again, left out when they are
// exactly what it would make.
bool regenerable(std::string_view frame) {
    return frame.substr(0, sync_pattern.size()) == sync_pattern && parity_matches(as_sector(frame));
}

}  // namespace

std::string deflate_raw(std::string_view bytes) {
    z_stream stream{};
    constexpr int raw_window = -15;
    constexpr int memory_level = 8;
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, raw_window, memory_level,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        return {};
    }
    const std::unique_ptr<z_stream, int (*)(z_stream*)> owner(&stream, deflateEnd);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    // zlib's interface is not const-correct; it does not write the input.
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));  // NOLINT
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());  // NOLINT: zlib takes bytes
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) {
        return {};
    }
    out.resize(stream.total_out);
    return out;
}

std::string encode_cdzl(std::string_view hunk) {
    const std::size_t frames = hunk.size() / cd_frame_bytes;
    std::string bitmap(cd_bitmap_bytes(frames), '\0');
    std::string sectors;
    std::string subcodes;
    for (std::size_t f = 0; f < frames; ++f) {
        const std::string_view frame = hunk.substr(f * cd_frame_bytes, cd_frame_bytes);
        std::string sector(frame.substr(0, cd_sector_bytes));
        if (regenerable(frame)) {
            bitmap[f / 8] = static_cast<char>(bitmap[f / 8] | 1 << (f % 8));
            std::fill_n(sector.begin(), sync_pattern.size(), '\0');
            std::fill(sector.begin() + parity_at, sector.end(), '\0');
        }
        sectors += sector;
        subcodes += frame.substr(cd_sector_bytes, cd_subcode_bytes);
    }
    const std::string base = deflate_raw(sectors);
    const std::string subcode = deflate_raw(subcodes);
    const std::size_t width = cd_length_bytes(hunk.size());
    if (frames == 0 || base.empty() || subcode.empty() || base.size() >> (8 * width) != 0) {
        return {};
    }
    return bitmap + big_endian(base.size(), width) + base + subcode;
}

encoded_hunk encode_hunk(std::string_view hunk, const std::array<std::uint32_t, 4>& codecs,
                         bool cd) {
    encoded_hunk best{hunk_stored, std::string(hunk), chd_crc16(hunk)};
    const auto* const slot = std::find(codecs.begin(), codecs.end(), fourcc(cd ? "cdzl" : "zlib"));
    if (slot == codecs.end() || (cd && hunk.size() % cd_frame_bytes != 0)) {
        return best;
    }
    std::string packed = cd ? encode_cdzl(hunk) : deflate_raw(hunk);
    if (!packed.empty() && packed.size() < best.bytes.size()) {
        best.type = static_cast<std::uint8_t>(slot - codecs.begin());
        best.bytes = std::move(packed);
    }
    return best;
}
