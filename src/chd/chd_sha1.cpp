#include "chd/chd_sha1.hpp"

#include <nettle/sha1.h>

#include <algorithm>

namespace {

const std::uint8_t* bytes_of(std::string_view bytes) {
    return reinterpret_cast<const std::uint8_t*>(bytes.data());  // NOLINT: nettle takes bytes
}

std::string_view view(const chd_sha1& digest) {
    return {reinterpret_cast<const char*>(digest.data()), digest.size()};  // NOLINT: same bytes
}

}  // namespace

sha1_hash::sha1_hash() : context_(std::make_unique<sha1_ctx>()) { sha1_init(context_.get()); }
sha1_hash::sha1_hash(sha1_hash&&) noexcept = default;
sha1_hash& sha1_hash::operator=(sha1_hash&&) noexcept = default;
sha1_hash::~sha1_hash() = default;

void sha1_hash::add(std::string_view bytes) {
    sha1_update(context_.get(), bytes.size(), bytes_of(bytes));
}

chd_sha1 sha1_hash::digest() {
    chd_sha1 sum{};
    sha1_digest(context_.get(), sum.size(), sum.data());
    return sum;
}

chd_sha1 sha1_of(std::string_view bytes) {
    sha1_hash hash;
    hash.add(bytes);
    return hash.digest();
}

chd_sha1 overall_sha1(const chd_sha1& raw, const std::vector<metadata_entry>& metadata) {
    std::vector<std::string> records;
    for (const metadata_entry& entry : metadata) {
        if ((entry.flags & metadata_checksummed) != 0) {
            records.push_back(big_endian(entry.tag, 4) + std::string(view(sha1_of(entry.data))));
        }
    }
    std::sort(records.begin(), records.end());
    sha1_hash hash;
    hash.add(view(raw));
    for (const std::string& record : records) {
        hash.add(record);
    }
    return hash.digest();
}
