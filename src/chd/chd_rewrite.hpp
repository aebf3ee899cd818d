// Where every byte of a patched CHD comes from: the decision, made without
// touching a file, that the I/O layer then carries out by streaming pieces
// of the old file and a few new byte strings into the new one.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "chd/chd_hunk_encoder.hpp"
#include "chd/chd_map_writer.hpp"
#include "chd/chd_sha1.hpp"

// Either `bytes`, or (when they are empty) `length` bytes of the old file
// from `from`.
struct file_piece {
    std::string bytes;
    std::uint64_t from = 0;
    std::uint64_t length = 0;
};

struct chd_rewrite_input {
    std::string header;                 // the old file's first 124 bytes
    std::vector<std::string> metadata;  // each entry whole (16-byte head, data), in chain order
    std::vector<map_entry> entries;     // the old map, one entry per hunk
    std::uint32_t hunk_bytes = 0;
    std::uint32_t unit_bytes = 0;
    std::uint64_t file_size = 0;   // the old file's length
    std::uint64_t map_offset = 0;  // the old map's place (4-byte maps are kept there)
    std::map<std::uint64_t, encoded_hunk> patched;  // by hunk number
    sha1_sum raw_sha1{};                            // over the patched image
};

struct chd_rewrite {
    std::vector<file_piece> pieces;  // the new file, in order
    std::vector<map_entry> entries;  // its map
};

// The records of the checksummed entries among `metadata`, for the
// overall SHA1.
std::vector<std::string> checksummed_records(const std::vector<std::string>& metadata);

// A file with codecs (header slot 0 set): header, the metadata chain from
// byte 124, every stored hunk back to back in hunk order, the map last. The
// patched hunks take their new encodings; the first other hunk that named
// a patched one as its copy keeps that hunk's old bytes, and the rest name
// it instead. Unchanged hunks are copied from the old file as they are.
//
// A file without: the old one, with each patched hunk written over its own
// place if no other entry shares it, else after the end at a multiple of
// the hunk size; the map rewritten where it is; the SHA1s only if it had
// them.
chd_rewrite plan_rewrite(const chd_rewrite_input& input);
