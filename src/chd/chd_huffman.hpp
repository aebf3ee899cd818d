// The Huffman coding a CHD uses for its map and for its `huff` codec: a bit
// reader, the canonical code the file's lengths give, and a decoder.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Reads bits most significant first. A read past the end gives zero bits
// and marks the reader overrun: for a CHD that is always corruption.
class bit_reader {
public:
    explicit bit_reader(std::string_view bytes) : bytes_(bytes) {}
    // The next `count` bits (at most 32) as a number.
    std::uint32_t read(int count);
    // The next `count` bits (at most 32), left where they are.
    [[nodiscard]] std::uint32_t peek(int count) const;
    void skip(int count) { position_ += static_cast<std::uint64_t>(count); }
    [[nodiscard]] bool overrun() const { return position_ > bits(); }

private:
    [[nodiscard]] std::uint64_t bits() const { return std::uint64_t{bytes_.size()} * 8; }
    std::string_view bytes_;
    std::uint64_t position_ = 0;
};

// Every symbol's code for the code `lengths` give (0 = unused symbol),
// assigned as the format does: canonical, the longest codes counted first,
// consecutive codes in symbol order within one length. None when the
// lengths cannot form a prefix code (or one exceeds `most_bits`).
std::optional<std::vector<std::uint32_t>> huffman_codes(const std::vector<std::uint8_t>& lengths,
                                                        int most_bits);

// Decodes symbols of a code given by its lengths, through a table of
// 2^most_bits entries.
class huffman_decoder {
public:
    // None when the lengths form no prefix code.
    static std::optional<huffman_decoder> make(const std::vector<std::uint8_t>& lengths,
                                               int most_bits);
    // The next symbol; none for a bit string no code begins.
    std::optional<std::uint32_t> decode(bit_reader& bits) const;

private:
    huffman_decoder() = default;
    int most_bits_ = 0;
    std::vector<std::uint32_t> table_;  // symbol << 8 | length; length 0 = no code
};
