// Patching a CHD: the whole file written again beside it with the new
// System Area hunks, every other hunk's bytes copied as they are, then
// put in its place, while no other run may write it anew.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/report.hpp"
#include "engine/storage.hpp"
#include "sectors/sector_layout.hpp"

// Writes `ip` into the 16 sectors from logical byte `first_byte` of the
// CHD at `path`, each `layout.sector_size` bytes with its user data at
// `layout.data_offset` ({2448, d} for a CD track, {2048, 0} for a DVD).
// Every hunk is decoded for the digests first, on `workers` threads (none:
// this one); `sector_line` is said once all of them decoded, just before
// the writes. 0 on success; otherwise -1 after saying why, the file as it was.
int patch_chd(storage& files, run_report& report, const std::string& path, std::int64_t first_byte,
              sector_layout layout, const std::string& sector_line, std::string_view ip,
              unsigned workers);
