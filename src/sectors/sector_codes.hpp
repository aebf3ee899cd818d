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

// Writes the P and Q parity (bytes 2076 to 2351) alone, over bytes 12 to
// 2075, the header counted as zero where the mode byte says 2: the parity a
// CHD's CD codecs drop and regenerate, for any form and with the EDC as
// stored.
void write_parity(raw_sector& sector);

// Whether the P and Q parity stored is what write_parity would write: then
// a reader that drops the parity can make it again from the rest.
bool parity_matches(const raw_sector& sector);
