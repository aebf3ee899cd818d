#include "sectors/sector_codes.hpp"

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

// Table k gives the CRC of a byte followed by k zero bytes, so that four
// bytes take one step: four times fewer steps through the chain of
// dependent table look-ups that bounds a CRC's speed.
using edc_tables = std::array<std::array<std::uint32_t, 256>, 4>;

constexpr edc_tables make_edc_tables() {
    edc_tables tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ ((crc & 1) != 0 ? edc_polynomial : 0);
        }
        tables[0][i] = crc;
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (std::size_t i = 0; i < 256; ++i) {
            tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFF];
        }
    }
    return tables;
}

constexpr edc_tables edc_table = make_edc_tables();

// Every range the EDC covers is a whole number of 4-byte steps.
std::uint32_t edc(const raw_sector& sector, coverage range) {
    std::uint32_t crc = 0;
    for (std::size_t i = range.begin; i < range.end; i += 4) {
        crc ^= static_cast<std::uint32_t>(sector[i] | sector[i + 1] << 8 | sector[i + 2] << 16) |
               static_cast<std::uint32_t>(sector[i + 3]) << 24;
        crc = edc_table[3][crc & 0xFF] ^ edc_table[2][(crc >> 8) & 0xFF] ^
              edc_table[1][(crc >> 16) & 0xFF] ^ edc_table[0][crc >> 24];
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

// GF(2^8) with x^8+x^4+x^3+x^2+1; alpha is x. Without a branch, so that
// many bytes go through it at once.
constexpr std::uint8_t times_alpha(std::uint8_t a) {
    return static_cast<std::uint8_t>((a << 1) ^ ((a >> 7) * 0x1D));
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

// `count` vectors of one code, summed as its two check equations weigh
// their bytes: sum v_k = 0 and sum alpha^(n-1-k) v_k = 0, k from 0 to n-1,
// the two parity bytes last. They advance side by side, one byte of each
// at a time, as independent lanes that the compiler makes wide.
template <std::size_t count>
class vector_sums {
public:
    void add(const std::array<std::uint8_t, count>& next) {
        for (std::size_t i = 0; i < count; ++i) {
            sum_[i] ^= next[i];
            weighted_[i] = times_alpha(weighted_[i]) ^ next[i];
        }
    }
    // With S the sum and W the weighted sum (times alpha^2, the parity
    // bytes' weights being alpha and 1): p0 + p1 = S and alpha p0 + p1 = W,
    // so p0 = (S + W) / (alpha + 1). Vector i's go to first + i, second + i.
    void close(raw_sector& sector, std::size_t first, std::size_t second) const {
        constexpr std::uint8_t divisor = inverse(3);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t weighted = times_alpha(times_alpha(weighted_[i]));
            sector[first + i] = multiply(sum_[i] ^ weighted, divisor);
            sector[second + i] = sum_[i] ^ sector[first + i];
        }
    }

private:
    std::array<std::uint8_t, count> sum_{};
    std::array<std::uint8_t, count> weighted_{};
};

// Bytes 12 to 2351 as 16-bit words: 1032 data words, 86 P parity words,
// 52 Q parity words. Each vector takes one byte of each of its words.
void write_ecc(raw_sector& sector) {
    constexpr std::size_t start = 12;
    // P: 86 columns of 24 bytes; row k is the 86 bytes from 12 + 86k.
    vector_sums<86> p;
    std::array<std::uint8_t, 86> row{};
    for (std::size_t k = 0; k < 24; ++k) {
        std::copy_n(sector.begin() + start + 86 * k, row.size(), row.begin());
        p.add(row);
    }
    p.close(sector, 2076, 2162);
    // Q: 52 diagonals of 43 bytes through data and P parity (2236 bytes);
    // byte k of diagonal d lies 88k + 86(d/2) + d%2 on, modulo 2236.
    vector_sums<52> q;
    std::array<std::uint8_t, 52> diagonal_row{};
    for (std::size_t k = 0; k < 43; ++k) {
        for (std::size_t d = 0; d < diagonal_row.size(); ++d) {
            const std::size_t at = 88 * k % 2236 + 86 * (d / 2);
            diagonal_row[d] = sector[start + (at < 2236 ? at : at - 2236) + d % 2];
        }
        q.add(diagonal_row);
    }
    q.close(sector, 2248, 2300);
}

// Mode 2 keeps its header out of the ECC: it is computed as if zero.
void ecc_without_header(raw_sector& sector, bool zero_header) {
    constexpr std::size_t header = 12;
    std::array<std::uint8_t, 4> kept{};
    std::copy_n(sector.begin() + header, kept.size(), kept.begin());
    if (zero_header) {
        std::fill_n(sector.begin() + header, kept.size(), 0);
    }
    write_ecc(sector);
    std::copy(kept.begin(), kept.end(), sector.begin() + header);
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
    ecc_without_header(sector, !mode1);
}

void write_parity(raw_sector& sector) {
    constexpr std::size_t mode = 15;
    ecc_without_header(sector, sector[mode] == 2);
}

bool parity_matches(const raw_sector& sector) {
    raw_sector computed = sector;
    write_parity(computed);
    return computed == sector;
}
