// The error detection and correction codes that a CD-ROM sector carries
// after its user data (ECMA-130): EDC, a CRC-32, and ECC, a Reed-Solomon
// product code.
#pragma once

#include <array>
#include <cstdint>

// A sector in raw terms: 2352 bytes from the sync pattern on. A 2336-byte
// sector, which lacks sync and header, is bytes 16 on of one.
using raw_sector = std::array<std::uint8_t, 2352>;

// Whether the sector carries live codes: a stored EDC that is not zero and
// equals the one its contents give. Mode 1 when `mode1`, otherwise Mode 2,
// whose form its subheader tells.
bool codes_match(const raw_sector& sector, bool mode1);

// Writes the EDC, and the ECC where the sector's form has one, that its
// contents give. No other byte changes.
void write_codes(raw_sector& sector, bool mode1);

// Whether the P and Q parity stored at bytes 2076-2351 is the parity bytes
// 12-2075 give, the header taken as zero when byte 15 says Mode 2: then a
// reader that drops the parity can make it again from the rest.
bool parity_matches(const raw_sector& sector);
