// The 16-bit CRC a CHD keeps for each hunk and for its map: polynomial
// 0x1021 from 0xFFFF, most significant bit first, no final inversion.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

inline std::uint16_t crc16(std::string_view bytes) {
    static constexpr std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> entries{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t crc = i << 8;
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1;
            }
            entries[i] = static_cast<std::uint16_t>(crc);
        }
        return entries;
    }();
    std::uint32_t crc = 0xFFFF;
    for (const char c : bytes) {
        crc = (crc << 8 ^ table[(crc >> 8 ^ static_cast<unsigned char>(c)) & 0xFF]) & 0xFFFF;
    }
    return static_cast<std::uint16_t>(crc);
}
