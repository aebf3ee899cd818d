// Canonical Huffman codes built from the longest length down, and the
// bit-level reading that both of the format's Huffman streams share.
#include "chd/chd_huffman.hpp"

#include <array>

std::uint32_t bit_reader::peek(int count) const {
    if (count == 0) {
        return 0;
    }
    // Eight bytes from the one that holds the next bit cover any 32 bits.
    const std::uint64_t first = position_ / 8;
    std::uint64_t window = 0;
    for (std::uint64_t i = first; i < first + 8; ++i) {
        window =
            window << 8 |
            (i < bytes_.size() ? static_cast<unsigned char>(bytes_[static_cast<std::size_t>(i)])
                               : 0U);
    }
    return static_cast<std::uint32_t>(window << (position_ % 8) >> (64 - count));
}

std::uint32_t bit_reader::read(int count) {
    const std::uint32_t value = peek(count);
    skip(count);
    return value;
}

std::optional<std::vector<std::uint32_t>> huffman_codes(const std::vector<std::uint8_t>& lengths,
                                                        int most_bits) {
    // Lengths 0 to 32; 0 counts unused symbols.
    std::array<std::uint64_t, 33> count{};
    for (const std::uint8_t length : lengths) {
        if (length > most_bits) {
            return std::nullopt;
        }
        ++count[length];
    }
    std::array<std::uint64_t, 33> start{};
    for (std::size_t length = count.size() - 1; length > 0; --length) {
        const std::uint64_t next = start[length] + count[length];
        if ((length > 1 && next % 2 != 0) || next > std::uint64_t{1} << length) {
            return std::nullopt;
        }
        start[length - 1] = next / 2;
    }
    std::vector<std::uint32_t> codes(lengths.size(), 0);
    for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
        if (lengths[symbol] != 0) {
            codes[symbol] = static_cast<std::uint32_t>(start[lengths[symbol]]++);
        }
    }
    return codes;
}

std::optional<huffman_decoder> huffman_decoder::make(const std::vector<std::uint8_t>& lengths,
                                                     int most_bits) {
    const auto codes = huffman_codes(lengths, most_bits);
    if (!codes) {
        return std::nullopt;
    }
    huffman_decoder decoder;
    decoder.most_bits_ = most_bits;
    decoder.table_.assign(std::size_t{1} << most_bits, 0);
    for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
        const int length = lengths[symbol];
        if (length == 0) {
            continue;
        }
        const int spare = most_bits - length;
        const std::size_t first = std::size_t{(*codes)[symbol]} << spare;
        for (std::size_t i = first; i < first + (std::size_t{1} << spare); ++i) {
            decoder.table_[i] =
                static_cast<std::uint32_t>(symbol << 8) | static_cast<std::uint32_t>(length);
        }
    }
    return decoder;
}

std::optional<std::uint32_t> huffman_decoder::decode(bit_reader& bits) const {
    const std::uint32_t entry = table_[bits.peek(most_bits_)];
    if ((entry & 0xFF) == 0) {
        return std::nullopt;
    }
    bits.skip(static_cast<int>(entry & 0xFF));
    return entry >> 8;
}
