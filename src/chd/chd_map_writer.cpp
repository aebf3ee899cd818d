#include "chd/chd_map_writer.hpp"

#include <algorithm>
#include <array>

#include "chd/chd_huffman.hpp"

namespace {

// The symbols the type sequence is coded with, beyond the types themselves.
constexpr std::uint8_t rle_small = 7;
constexpr std::uint8_t rle_large = 8;
constexpr std::uint8_t self_same = 9;
constexpr std::uint8_t self_next = 10;
constexpr std::size_t symbol_count = 16;
constexpr std::uint8_t longest_code = 8;
constexpr std::size_t short_run = 3;
constexpr std::size_t long_run = 19;
constexpr std::size_t longest_run = 274;

class bit_writer {
public:
    void put(std::uint64_t value, std::uint32_t width) {
        for (std::uint32_t i = width; i-- > 0;) {
            if (bits_ % 8 == 0) {
                bytes_ += '\0';
            }
            const auto bit = static_cast<unsigned>(value >> i & 1);
            bytes_.back() = static_cast<char>(static_cast<unsigned char>(bytes_.back()) |
                                              bit << (7 - bits_ % 8));
            ++bits_;
        }
    }
    [[nodiscard]] const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
    std::uint64_t bits_ = 0;
};

std::uint32_t bits_for(std::uint64_t value) {
    std::uint32_t bits = 0;
    while (bits < 64 && value >> bits != 0) {
        ++bits;
    }
    return bits;
}

using lengths = std::array<std::uint8_t, symbol_count>;

// Huffman code lengths for the counts. Where the tree grows deeper than a
// code may be long, the counts are flattened (halved, never below 1) and
// the tree built again: with all counts equal no code is longer than 4.
lengths code_lengths(const std::array<std::uint64_t, symbol_count>& counts) {
    for (std::uint32_t shift = 0;; ++shift) {
        std::vector<std::uint64_t> weight;
        std::vector<std::size_t> parent;
        std::vector<std::size_t> live;
        std::array<std::size_t, symbol_count> leaf{};
        for (std::size_t s = 0; s < symbol_count; ++s) {
            if (counts[s] != 0) {
                leaf[s] = weight.size();
                live.push_back(weight.size());
                weight.push_back(std::max<std::uint64_t>(1, counts[s] >> shift));
                parent.push_back(0);
            }
        }
        lengths result{};
        if (live.size() == 1) {
            result[static_cast<std::size_t>(
                std::find_if(counts.begin(), counts.end(), [](auto c) { return c != 0; }) -
                counts.begin())] = 1;
            return result;
        }
        while (live.size() > 1) {
            std::sort(live.begin(), live.end(),
                      [&weight](std::size_t a, std::size_t b) { return weight[a] > weight[b]; });
            const std::size_t a = live.back();
            live.pop_back();
            const std::size_t b = live.back();
            live.back() = weight.size();
            weight.push_back(weight[a] + weight[b]);
            parent.push_back(0);
            parent[a] = parent[b] = weight.size() - 1;
        }
        const std::size_t root = live.front();
        std::uint8_t deepest = 0;
        for (std::size_t s = 0; s < symbol_count; ++s) {
            if (counts[s] != 0) {
                std::uint8_t depth = 0;
                for (std::size_t n = leaf[s]; n != root; n = parent[n]) {
                    ++depth;
                }
                result[s] = depth;
                deepest = std::max(deepest, depth);
            }
        }
        if (deepest <= longest_code) {
            return result;
        }
    }
}

// 4-bit fields: a length, or 1 as an escape: 1 1 is a single length 1, and
// 1 L r is length L repeated r + 3 times.
void put_lengths(bit_writer& out, const lengths& length) {
    for (std::size_t s = 0; s < symbol_count;) {
        std::size_t run = 1;
        while (s + run < symbol_count && length[s + run] == length[s]) {
            ++run;
        }
        if (length[s] == 1) {
            out.put(1, 4);
            out.put(1, 4);
            run = 1;
        } else if (run >= short_run) {
            out.put(1, 4);
            out.put(length[s], 4);
            out.put(run - short_run, 4);
        } else {
            out.put(length[s], 4);
            run = 1;
        }
        s += run;
    }
}

// Each hunk's type, with self references that follow from the one before
// folded into the symbols that say so. (The map read refuses references to
// a parent, so none reach here.)
std::vector<std::uint8_t> coded_types(const std::vector<map_entry>& entries) {
    std::vector<std::uint8_t> types;
    std::uint64_t last_self = 0;
    for (const map_entry& entry : entries) {
        std::uint8_t type = entry.type;
        if (type == hunk_self) {
            type = entry.offset == last_self       ? self_same
                   : entry.offset == last_self + 1 ? self_next
                                                   : hunk_self;
            last_self = entry.offset;
        }
        types.push_back(type);
    }
    return types;
}

// Runs of the type before (the first hunk's "before" being type 0) of 3 or
// more hunks become a run symbol and its count in one or two symbols.
std::vector<std::uint8_t> run_coded(const std::vector<std::uint8_t>& types) {
    std::vector<std::uint8_t> symbols;
    std::uint8_t previous = 0;
    for (std::size_t i = 0; i < types.size();) {
        std::size_t run = 0;
        while (i + run < types.size() && run < longest_run && types[i + run] == previous) {
            ++run;
        }
        if (run >= long_run) {
            symbols.insert(symbols.end(),
                           {rle_large, static_cast<std::uint8_t>((run - long_run) >> 4),
                            static_cast<std::uint8_t>((run - long_run) & 15)});
            i += run;
        } else if (run >= short_run) {
            symbols.insert(symbols.end(), {rle_small, static_cast<std::uint8_t>(run - short_run)});
            i += run;
        } else {
            previous = types[i++];
            symbols.push_back(previous);
        }
    }
    return symbols;
}

}  // namespace

std::string compressed_map(const std::vector<map_entry>& entries) {
    const std::vector<std::uint8_t> types = coded_types(entries);
    const std::vector<std::uint8_t> symbols = run_coded(types);
    std::array<std::uint64_t, symbol_count> counts{};
    for (const std::uint8_t symbol : symbols) {
        ++counts[symbol];
    }
    const auto held = [](const map_entry& entry) { return entry.type <= hunk_stored; };
    const auto first = std::find_if(entries.begin(), entries.end(), held);
    const std::uint64_t first_offset = first == entries.end() ? 0 : first->offset;
    std::uint64_t longest = 0;
    std::uint64_t farthest_self = 0;
    for (std::size_t hunk = 0; hunk < entries.size(); ++hunk) {
        const map_entry& entry = entries[hunk];
        // Stored hunks count too, though their length is never written:
        // chdman sizes the field so, and the map then comes out as it does.
        if (held(entry)) {
            longest = std::max<std::uint64_t>(longest, entry.length);
        } else if (types[hunk] == hunk_self) {
            farthest_self = std::max(farthest_self, entry.offset);
        }
    }
    const std::uint32_t length_bits = bits_for(longest);
    const std::uint32_t self_bits = bits_for(farthest_self);

    const lengths length = code_lengths(counts);
    // Huffman lengths always form a code.
    const std::vector<std::uint32_t> codes =
        huffman_codes({length.begin(), length.end()}, longest_code)
            .value_or(std::vector<std::uint32_t>(symbol_count));
    bit_writer out;
    put_lengths(out, length);
    for (const std::uint8_t symbol : symbols) {
        out.put(codes[symbol], length[symbol]);
    }
    for (std::size_t hunk = 0; hunk < entries.size(); ++hunk) {
        const map_entry& entry = entries[hunk];
        if (types[hunk] < hunk_stored) {
            out.put(entry.length, length_bits);
        }
        if (types[hunk] <= hunk_stored) {
            out.put(entry.crc, 16);
        } else if (types[hunk] == hunk_self) {
            out.put(entry.offset, self_bits);
        }
    }
    return big_endian(out.bytes().size(), 4) + big_endian(first_offset, 6) +
           big_endian(chd_crc16(expanded_map(entries)), 2) + static_cast<char>(length_bits) +
           static_cast<char>(self_bits) + std::string(2, '\0') + out.bytes();
}

std::string uncompressed_map(const std::vector<map_entry>& entries, std::uint32_t hunk_bytes) {
    std::string bytes;
    bytes.reserve(entries.size() * 4);
    for (const map_entry& entry : entries) {
        bytes += big_endian(entry.type == hunk_stored ? entry.offset / hunk_bytes : 0, 4);
    }
    return bytes;
}
