// The two SHA1 digests a CHD header carries: one over the image's bytes,
// one that also covers the metadata entries flagged as checksummed.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sha1_ctx;

#include "chd/chd_header.hpp"
#include "chd/chd_metadata.hpp"

// A running SHA1: bytes go in as they come, in order.
class sha1_hash {
public:
    sha1_hash();
    sha1_hash(sha1_hash&& other) noexcept;
    sha1_hash& operator=(sha1_hash&& other) noexcept;
    ~sha1_hash();
    void add(std::string_view bytes);
    chd_sha1 digest();

private:
    std::unique_ptr<sha1_ctx> context_;
};

chd_sha1 sha1_of(std::string_view bytes);

// The overall digest of an image of `raw` SHA1 with `metadata`: the raw one
// followed by a record (tag, SHA1 of the data) for each checksummed entry,
// in ascending byte order, so that the order of the chain does not change it.
chd_sha1 overall_sha1(const chd_sha1& raw, const std::vector<metadata_entry>& metadata);
