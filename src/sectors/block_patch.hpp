// What the first 16 sectors of an image become once the ip file is in them,
// and the ip file they hold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sectors/sector_layout.hpp"

constexpr std::int64_t ip_size = 32768;

// The bytes from the start of the image that the patch rewrites: its first
// 16 sectors, or all of it where it is shorter.
std::int64_t block_length(sector_layout layout, std::int64_t image_size);

// `block`, as read from byte 0, with chunk i of `ip` (2048 bytes each) as
// the user data of sector i. An image too short for sector 15's user data
// grows with zeros to hold it. A whole sector whose codes were live gets
// them recomputed; every other byte outside the user data stays as it was.
std::string patch_block(std::string block, sector_layout layout, std::string_view ip);

// The user data of the 16 sectors of `block`, which holds them whole: the
// ip file, without framing, codes or subchannel.
std::string user_data(std::string_view block, sector_layout layout);
