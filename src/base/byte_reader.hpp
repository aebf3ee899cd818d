// Bounds-checked reading of a binary table: every read past its end fails,
// and a reader that failed once stays failed, so a parser may read a whole
// record and look at ok() once. Positions and counts come from the table
// as 64-bit numbers and are checked as such, before they narrow to the
// size of memory (32 bits in WebAssembly).
#pragma once

#include <cstdint>
#include <string_view>

class byte_reader {
public:
    explicit byte_reader(std::string_view bytes, std::uint64_t at = 0)
        : bytes_(bytes),
          at_(at <= bytes.size() ? static_cast<std::size_t>(at) : 0),
          ok_(at <= bytes.size()) {}

    // Unsigned integers of `width` bytes (1 to 8), least or most significant first.
    std::uint64_t le(std::size_t width) { return number(width, false); }
    std::uint64_t be(std::size_t width) { return number(width, true); }

    std::string_view take(std::uint64_t count) {
        if (!ok_ || count > bytes_.size() - at_) {
            ok_ = false;
            return {};
        }
        const auto length = static_cast<std::size_t>(count);
        at_ += length;
        return bytes_.substr(at_ - length, length);
    }
    void skip(std::uint64_t count) { static_cast<void>(take(count)); }

    [[nodiscard]] bool ok() const { return ok_; }
    [[nodiscard]] std::size_t at() const { return at_; }

private:
    std::uint64_t number(std::size_t width, bool big_endian) {
        const std::string_view field = take(width);
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < field.size(); ++i) {
            const std::size_t from = big_endian ? i : field.size() - 1 - i;
            value = value << 8 | static_cast<unsigned char>(field[from]);
        }
        return value;
    }

    std::string_view bytes_;
    std::size_t at_;
    bool ok_;
};
