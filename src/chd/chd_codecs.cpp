// The hunk decoders: each library is told the exact size to produce, and
// anything short of it is refused.
#include "chd/chd_codecs.hpp"

#include <FLAC/stream_decoder.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <array>
#include <memory>

#include "base/byte_reader.hpp"
#include "chd/chd_header.hpp"
#include "chd/chd_huffman.hpp"
#include "sectors/sector_codes.hpp"
#include "sectors/sector_layout.hpp"

namespace {

using decoded = std::optional<std::string>;

decoded inflate_exact(std::string_view in, std::size_t size) {
    std::string out(size, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        return std::nullopt;
    }
    const std::unique_ptr<z_stream, int (*)(z_stream*)> end(&z, inflateEnd);
    // zlib reads but never writes through next_in.
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    if (status != Z_STREAM_END || z.avail_out != 0) {
        return std::nullopt;
    }
    return out;
}

// chdman's encoder writes no end marker: the stream stops when `size`
// bytes are out. Its dictionary is never smaller than what it codes.
decoded unlzma_exact(std::string_view in, std::size_t size) {
    std::uint32_t dictionary = 4096;
    while (dictionary < size) {
        dictionary *= 2;
    }
    lzma_options_lzma options{};
    options.dict_size = dictionary;
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    const std::array<lzma_filter, 2> filters{
        {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}}};
    lzma_stream stream{};
    if (lzma_raw_decoder(&stream, filters.data()) != LZMA_OK) {
        return std::nullopt;
    }
    const std::unique_ptr<lzma_stream, void (*)(lzma_stream*)> end(&stream, lzma_end);
    std::string out(size, '\0');
    stream.next_in = reinterpret_cast<const std::uint8_t*>(in.data());
    stream.avail_in = in.size();
    stream.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    stream.avail_out = out.size();
    while (stream.avail_out != 0) {
        const std::size_t before = stream.avail_out + stream.avail_in;
        const lzma_ret status = lzma_code(&stream, LZMA_RUN);
        if ((status != LZMA_OK && status != LZMA_STREAM_END) ||
            stream.avail_out + stream.avail_in == before) {
            return std::nullopt;
        }
    }
    return out;
}

decoded unzstd_exact(std::string_view in, std::size_t size) {
    std::string out(size, '\0');
    const std::size_t made = ZSTD_decompress(out.data(), out.size(), in.data(), in.size());
    if (ZSTD_isError(made) != 0 || made != size) {
        return std::nullopt;
    }
    return out;
}

// FLAC frames with no stream header: the decoder gets one made up for
// them (44.1 kHz, stereo, 16 bits, the encoder's block size), then the
// frames, until `samples` stereo samples are out.
struct flac_run {
    std::string stream;  // the made-up header, then the frames
    std::size_t read_at = 0;
    std::string out;
    std::size_t wanted = 0;  // bytes
    bool big_endian = true;
    bool failed = false;
};

FLAC__StreamDecoderReadStatus flac_read(const FLAC__StreamDecoder* /*decoder*/, FLAC__byte* buffer,
                                        std::size_t* bytes, void* client) {
    auto& run = *static_cast<flac_run*>(client);
    const std::size_t count = std::min(*bytes, run.stream.size() - run.read_at);
    std::copy_n(run.stream.begin() + static_cast<std::ptrdiff_t>(run.read_at), count, buffer);
    run.read_at += count;
    *bytes = count;
    return count == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                      : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderTellStatus flac_tell(const FLAC__StreamDecoder* /*decoder*/,
                                        FLAC__uint64* offset, void* client) {
    *offset = static_cast<const flac_run*>(client)->read_at;
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderWriteStatus flac_write(const FLAC__StreamDecoder* /*decoder*/,
                                          const FLAC__Frame* frame,
                                          const FLAC__int32* const* channels, void* client) {
    auto& run = *static_cast<flac_run*>(client);
    const std::size_t samples = frame->header.blocksize;
    if (frame->header.channels != 2 || frame->header.bits_per_sample != 16 ||
        run.wanted - run.out.size() < samples * 4) {
        run.failed = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    // Written in place: a byte at a time through the string took longer
    // than FLAC's own decoding.
    std::size_t at = run.out.size();
    run.out.resize(at + samples * 4);
    const std::size_t first = run.big_endian ? 0 : 1;
    for (std::size_t i = 0; i < samples; ++i) {
        for (std::size_t c = 0; c < 2; ++c, at += 2) {
            const auto value = static_cast<std::uint16_t>(channels[c][i]);
            run.out[at + first] = static_cast<char>(value >> 8);
            run.out[at + 1 - first] = static_cast<char>(value & 0xFF);
        }
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void flac_error(const FLAC__StreamDecoder* /*decoder*/, FLAC__StreamDecoderErrorStatus /*status*/,
                void* client) {
    static_cast<flac_run*>(client)->failed = true;
}

std::string flac_stream_header(std::uint32_t block_size) {
    std::string header("fLaC\x80\0\0\x22", 8);
    header.resize(header.size() + 34, '\0');
    put_big_endian(header, 8, 2, block_size);
    put_big_endian(header, 10, 2, block_size);
    constexpr std::uint64_t rate = 44100;
    put_big_endian(header, 18, 8, rate << 44 | std::uint64_t{1} << 41 | std::uint64_t{15} << 36);
    return header;
}

// The bytes of `size`, and how many bytes of `in` the frames took.
std::optional<std::pair<std::string, std::size_t>> unflac(std::string_view in, std::size_t size,
                                                          std::uint32_t block_size,
                                                          bool big_endian) {
    flac_run run;
    run.stream = flac_stream_header(block_size);
    const std::size_t header_size = run.stream.size();
    run.stream.append(in);
    run.wanted = size;
    run.big_endian = big_endian;
    run.out.reserve(size);
    const std::unique_ptr<FLAC__StreamDecoder, void (*)(FLAC__StreamDecoder*)> decoder(
        FLAC__stream_decoder_new(), FLAC__stream_decoder_delete);
    if (!decoder ||
        FLAC__stream_decoder_init_stream(decoder.get(), flac_read, nullptr, flac_tell, nullptr,
                                         nullptr, flac_write, nullptr, flac_error,
                                         &run) != FLAC__STREAM_DECODER_INIT_STATUS_OK ||
        FLAC__stream_decoder_process_until_end_of_metadata(decoder.get()) == 0) {
        return std::nullopt;
    }
    // Each round decodes a frame or meets the end: the frames are at most
    // as many as the bytes they come in.
    for (std::size_t round = 0; run.out.size() < size && round <= in.size(); ++round) {
        if (FLAC__stream_decoder_process_single(decoder.get()) == 0 || run.failed ||
            FLAC__stream_decoder_get_state(decoder.get()) == FLAC__STREAM_DECODER_END_OF_STREAM) {
            return std::nullopt;
        }
    }
    FLAC__uint64 position = 0;
    if (run.out.size() != size ||
        FLAC__stream_decoder_get_decode_position(decoder.get(), &position) == 0 ||
        position < header_size || position - header_size > in.size()) {
        return std::nullopt;
    }
    return std::make_pair(std::move(run.out), static_cast<std::size_t>(position - header_size));
}

// The encoder's block size: a quarter of the bytes, halved down to `most`.
std::uint32_t flac_block_size(std::size_t bytes, std::uint32_t most) {
    auto block = static_cast<std::uint32_t>(bytes / 4);
    while (block > most) {
        block /= 2;
    }
    return block;
}

decoded unflac_generic(std::string_view in, std::size_t size) {
    if (in.empty() || (in[0] != 'L' && in[0] != 'B') || size % 4 != 0) {
        return std::nullopt;
    }
    auto result = unflac(in.substr(1), size, flac_block_size(size, 2048), in[0] == 'B');
    return result ? std::optional<std::string>(std::move(result->first)) : std::nullopt;
}

// The frames of a CD hunk from its sector parts and subcode parts.
std::string interleave(const std::string& sectors, const std::string& subcodes) {
    std::string frames;
    frames.reserve(sectors.size() + subcodes.size());
    for (std::size_t f = 0; f * cd_sector_bytes < sectors.size(); ++f) {
        frames.append(sectors, f * cd_sector_bytes, cd_sector_bytes);
        frames.append(subcodes, f * cd_subcode_bytes, cd_subcode_bytes);
    }
    return frames;
}

decoded uncdfl(std::string_view in, std::size_t hunk_bytes) {
    const std::size_t frames = hunk_bytes / cd_frame_bytes;
    auto sectors = unflac(in, frames * cd_sector_bytes,
                          flac_block_size(frames * cd_sector_bytes, cd_sector_bytes), true);
    if (!sectors) {
        return std::nullopt;
    }
    auto subcodes = inflate_exact(in.substr(sectors->second), frames * cd_subcode_bytes);
    return subcodes ? decoded(interleave(sectors->first, *subcodes)) : std::nullopt;
}

using base_decoder = decoded (*)(std::string_view, std::size_t);

// An ECC bitmap, the base part's length, the base part, the subcode part.
decoded uncd(std::string_view in, std::size_t hunk_bytes, base_decoder sectors_codec,
             base_decoder subcode_codec) {
    const std::size_t frames = hunk_bytes / cd_frame_bytes;
    byte_reader fields(in, cd_bitmap_bytes(frames));
    const std::uint64_t base_length = fields.be(cd_length_bytes(hunk_bytes));
    const std::string_view base = fields.take(static_cast<std::size_t>(base_length));
    if (!fields.ok()) {
        return std::nullopt;
    }
    const auto sectors = sectors_codec(base, frames * cd_sector_bytes);
    const auto subcodes =
        sectors ? subcode_codec(in.substr(fields.at()), frames * cd_subcode_bytes) : std::nullopt;
    if (!subcodes) {
        return std::nullopt;
    }
    std::string out = interleave(*sectors, *subcodes);
    for (std::size_t f = 0; f < frames; ++f) {
        const unsigned flags = static_cast<unsigned char>(in[f / 8]);
        if ((flags >> (f % 8) & 1U) == 0) {
            continue;
        }
        const auto at = static_cast<std::ptrdiff_t>(f * cd_frame_bytes);
        raw_sector sector{};
        std::copy_n(out.begin() + at, sector.size(), sector.begin());
        std::copy(sync_pattern.begin(), sync_pattern.end(), sector.begin());
        write_parity(sector);
        std::transform(sector.begin(), sector.end(), out.begin() + at,
                       [](std::uint8_t b) { return static_cast<char>(b); });
    }
    return out;
}

// `huff`: a small code that codes the lengths of the code for the bytes.
decoded unhuff(std::string_view in, std::size_t size) {
    bit_reader bits(in);
    constexpr std::size_t small_symbols = 24;
    std::vector<std::uint8_t> small(small_symbols, 0);
    small[0] = static_cast<std::uint8_t>(bits.read(3));
    for (std::size_t s = bits.read(3) + 1; s < small_symbols; ++s) {
        const auto length = static_cast<std::uint8_t>(bits.read(3));
        if (length == 7) {
            break;
        }
        small[s] = length;
    }
    const auto small_code = huffman_decoder::make(small, 8);
    if (!small_code) {
        return std::nullopt;
    }
    constexpr int most_bits = 16;
    std::vector<std::uint8_t> lengths;
    std::uint8_t last = 0;
    while (lengths.size() < 256) {
        const auto value = small_code->decode(bits);
        if (!value || bits.overrun()) {
            return std::nullopt;
        }
        if (*value != 0) {
            last = static_cast<std::uint8_t>(*value - 1);
            lengths.push_back(last);
            continue;
        }
        std::size_t repeat = bits.read(3) + 2;
        repeat += repeat == 9 ? bits.read(8) : 0;
        if (repeat > 256 - lengths.size()) {
            return std::nullopt;
        }
        lengths.insert(lengths.end(), repeat, last);
    }
    const auto code = huffman_decoder::make(lengths, most_bits);
    if (!code) {
        return std::nullopt;
    }
    std::string out(size, '\0');
    for (char& byte : out) {
        const auto symbol = code->decode(bits);
        if (!symbol) {
            return std::nullopt;
        }
        byte = static_cast<char>(*symbol);
    }
    return bits.overrun() ? std::nullopt : decoded(std::move(out));
}

}  // namespace

bool codec_known(std::uint32_t codec) {
    return std::find(known_codecs.begin(), known_codecs.end(), codec) != known_codecs.end();
}

std::optional<std::string> decode_hunk(std::uint32_t codec, std::string_view compressed,
                                       std::uint32_t hunk_bytes) {
    const bool cd = hunk_bytes % cd_frame_bytes == 0;
    switch (codec) {
        case fourcc("cdlz"):
            return cd ? uncd(compressed, hunk_bytes, unlzma_exact, inflate_exact) : std::nullopt;
        case fourcc("cdzl"):
            return cd ? uncd(compressed, hunk_bytes, inflate_exact, inflate_exact) : std::nullopt;
        case fourcc("cdzs"):
            return cd ? uncd(compressed, hunk_bytes, unzstd_exact, unzstd_exact) : std::nullopt;
        case fourcc("cdfl"):
            return cd ? uncdfl(compressed, hunk_bytes) : std::nullopt;
        case fourcc("zlib"):
            return inflate_exact(compressed, hunk_bytes);
        case fourcc("lzma"):
            return unlzma_exact(compressed, hunk_bytes);
        case fourcc("zstd"):
            return unzstd_exact(compressed, hunk_bytes);
        case fourcc("huff"):
            return unhuff(compressed, hunk_bytes);
        case fourcc("flac"):
            return unflac_generic(compressed, hunk_bytes);
        default:
            return std::nullopt;
    }
}
