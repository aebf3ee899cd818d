// UTF-8 decoded and encoded by hand: a code point at a time, as the names
// are checked, converted and folded.
#include "base/unicode_text.hpp"

#include <array>
#include <cstdint>
#include <optional>

#include "base/case_folding.hpp"

namespace {

std::uint8_t byte_at(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]);
}

// The code point that starts at `at`, which then moves past it; none where
// the bytes there are not well-formed UTF-8.
std::optional<char32_t> decode(std::string_view bytes, std::size_t& at) {
    const std::uint8_t lead = byte_at(bytes, at++);
    if (lead < 0x80) {
        return lead;
    }
    // Continuation bytes that follow, and the least code point that needs them.
    const std::size_t more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    constexpr std::array<char32_t, 4> least{0, 0x80, 0x800, 0x10000};
    if (lead < 0xC2 || lead > 0xF4 || bytes.size() - at < more) {
        return std::nullopt;
    }
    char32_t code = lead & (0x3FU >> more);
    for (std::size_t i = 0; i < more; ++i) {
        const std::uint8_t next = byte_at(bytes, at++);
        if ((next & 0xC0U) != 0x80) {
            return std::nullopt;
        }
        code = (code << 6U) | (next & 0x3FU);
    }
    if (code < least[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return std::nullopt;
    }
    return code;
}

void encode(char32_t code, std::string& text) {
    const std::size_t more = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    constexpr std::array<char32_t, 4> lead{0, 0xC0, 0xE0, 0xF0};
    text += static_cast<char>(lead[more] | (code >> (6 * more)));
    for (std::size_t i = more; i-- > 0;) {
        text += static_cast<char>(0x80U | ((code >> (6 * i)) & 0x3FU));
    }
}

// Where Windows-1252 departs from Latin-1: bytes 0x80 to 0x9F.
constexpr std::array<char16_t, 32> windows_1252_high{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

bool valid_utf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        if (!decode(bytes, at)) {
            return false;
        }
    }
    return true;
}

std::string windows_1252_to_utf8(std::string_view bytes) {
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        const std::uint8_t byte = byte_at(bytes, at);
        encode(byte >= 0x80 && byte < 0xA0 ? windows_1252_high[byte - 0x80U] : byte, text);
    }
    return text;
}

std::string case_folded(std::string_view text) {
    std::string folded;
    for (std::size_t at = 0; at < text.size();) {
        encode(fold_case(decode(text, at).value_or(0xFFFD)), folded);
    }
    return folded;
}
