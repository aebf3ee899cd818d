#include "sector_codes.hpp"

#include <algorithm>
#include <cstddef>

namespace {

// The bytes the EDC covers, [begin, end), with the EDC stored at `end`, and
// whether an ECC follows.
struct coverage {
    std::size_t begin;
    std::size_t end;
    bool ecc;
};

coverage coverage_of(const raw_sector& sector, bool mode1) {
    constexpr std::size_t submode = 18;
    constexpr std::uint8_t form2 = 0x20;
    if (mode1) {
        return {0, 2064, true};
    }
    if ((sector[submode] & form2) != 0) {
        return {16, 2348, false};
    }
    return {16, 2072, true};
}

// (x^16+x^15+x^2+1)(x^16+x^2+x+1), taken least significant bit first.
constexpr std::uint32_t edc_polynomial = 0xD8018001;

constexpr std::array<std::uint32_t, 256> make_edc_table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        std::uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ ((crc & 1) != 0 ? edc_polynomial : 0);
        }
        table[i] = crc;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> edc_table = make_edc_table();

std::uint32_t edc(const raw_sector& sector, coverage range) {
    std::uint32_t crc = 0;
    for (std::size_t i = range.begin; i < range.end; ++i) {
        crc = (crc >> 8) ^ edc_table[(crc ^ sector[i]) & 0xFF];
    }
    return crc;
}

std::uint32_t stored_edc(const raw_sector& sector, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) {
        value = value << 8 | sector[at + i];
    }
    return value;
}

// GF(2^8) with x^8+x^4+x^3+x^2+1; alpha is x.
constexpr std::uint8_t times_alpha(std::uint8_t a) {
    return static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) != 0 ? 0x11D : 0));
}

constexpr std::uint8_t multiply(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    for (; b != 0; b = static_cast<std::uint8_t>(b >> 1), a = times_alpha(a)) {
        if ((b & 1) != 0) {
            product ^= a;
        }
    }
    return product;
}

constexpr std::uint8_t inverse(std::uint8_t a) {
    std::uint8_t y = 1;
    while (multiply(a, y) != 1) {
        ++y;
    }
    return y;
}

// 1 / (alpha + 1), for solving the two check equations below.
constexpr std::uint8_t inverse_of_alpha_plus_one = inverse(3);

// Bytes 12 to 2351 as 16-bit words: 1032 data words, 86 P parity words,
// 52 Q parity words. Each vector takes one byte of each of its words.
constexpr std::size_t ecc_start = 12;

// Sets the two parity bytes closing a vector of `length` bytes, the k-th at
// sector[at(k)], so that it meets both check equations of its code:
// sum v_k = 0 and sum alpha^(length-1-k) v_k = 0.
template <typename Position>
void close_vector(raw_sector& sector, std::size_t length, Position at) {
    std::uint8_t sum = 0;
    std::uint8_t weighted = 0;
    for (std::size_t k = 0; k + 2 < length; ++k) {
        sum ^= sector[at(k)];
        weighted = times_alpha(weighted) ^ sector[at(k)];
    }
    weighted = times_alpha(times_alpha(weighted));
    const std::uint8_t first = multiply(sum ^ weighted, inverse_of_alpha_plus_one);
    sector[at(length - 2)] = first;
    sector[at(length - 1)] = sum ^ first;
}

void write_ecc(raw_sector& sector) {
    // P: 86 columns of 24 bytes, 86 bytes apart; parity at 2076.
    for (std::size_t column = 0; column < 86; ++column) {
        close_vector(sector, 26, [column](std::size_t k) { return ecc_start + column + 86 * k; });
    }
    // Q: 52 diagonals of 43 bytes over data and P parity; parity at 2248.
    for (std::size_t diagonal = 0; diagonal < 52; ++diagonal) {
        const std::size_t word = diagonal / 2;
        const std::size_t byte = diagonal % 2;
        close_vector(sector, 45, [word, byte](std::size_t k) {
            const std::size_t index =
                k < 43 ? (44 * k + 43 * word) % 1118 : 1118 + 26 * (k - 43) + word;
            return ecc_start + 2 * index + byte;
        });
    }
}

}  // namespace

bool codes_match(const raw_sector& sector, bool mode1) {
    const coverage range = coverage_of(sector, mode1);
    const std::uint32_t stored = stored_edc(sector, range.end);
    return stored != 0 && stored == edc(sector, range);
}

void write_codes(raw_sector& sector, bool mode1) {
    const coverage range = coverage_of(sector, mode1);
    const std::uint32_t value = edc(sector, range);
    for (std::size_t i = 0; i < 4; ++i) {
        sector[range.end + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    if (!range.ecc) {
        return;
    }
    // Mode 2 keeps its header out of the ECC: it is computed as if zero.
    constexpr std::size_t header = 12;
    std::array<std::uint8_t, 4> kept{};
    std::copy_n(sector.begin() + header, kept.size(), kept.begin());
    if (!mode1) {
        std::fill_n(sector.begin() + header, kept.size(), 0);
    }
    write_ecc(sector);
    std::copy(kept.begin(), kept.end(), sector.begin() + header);
}
