// Where every byte of a patched CHD comes from: the decision, made without
// touching a file, that the I/O layer then carries out by streaming pieces
// of the old file and a few new byte strings into the new one.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "chd/chd_header.hpp"
#include "chd/chd_hunk_encoder.hpp"
#include "chd/chd_map.hpp"
#include "chd/chd_map_writer.hpp"
#include "chd/chd_metadata.hpp"
#include "chd/chd_sha1.hpp"

// Either `bytes`, or (when they are empty) `length` bytes of the old file
// from `from`.
struct file_piece {
    std::string bytes;
    std::uint64_t from = 0;
    std::uint64_t length = 0;
};

struct chd_rewrite_input {
    chd_header header;
    std::vector<metadata_entry> metadata;           // in chain order
    std::vector<map_entry> entries;                 // the old map, one entry per hunk
    std::uint64_t file_size = 0;                    // the old file's length
    std::map<std::uint64_t, encoded_hunk> patched;  // by hunk number
    chd_sha1 raw_sha1{};                            // over the patched image
};

struct chd_rewrite {
    std::vector<file_piece> pieces;  // the new file, in order
    std::vector<map_entry> entries;  // its map
};

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
