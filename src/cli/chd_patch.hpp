// Patching a CHD: the whole file written again beside it with the new
// System Area hunks, every other hunk's bytes copied as they are, then
// renamed over it, under a lock held from the first read to the rename.
#pragma once

#include <cstdint>
#include <string>

#include "sectors/sector_layout.hpp"

// Writes `ip` into the 16 sectors from logical byte `first_byte` of the
// CHD at `path`, each `layout.sector_size` bytes with its user data at
// `layout.data_offset` ({2448, d} for a CD track, {2048, 0} for a DVD).
// 0 on success; otherwise -1 after saying why, the file as it was.
int patch_chd(const std::string& path, std::int64_t first_byte, sector_layout layout,
              const std::string& ip);
