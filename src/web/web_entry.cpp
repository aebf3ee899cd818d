// The engine's entry points, called by the module's workers with the host
// set. A patch or an extraction returns the status the command would exit
// with, 0 or -1, having said the same lines through the host. A CHD patch
// whose digests need every hunk returns 1 instead and goes on in steps:
// other workers decode the hunks (bootgraft_decoder_open, bootgraft_decode),
// this one hashes them in order (bootgraft_hash), then bootgraft_finish.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "engine/engine.hpp"
#include "web/browser_storage.hpp"

namespace {

// A patch between its steps: the run's files and report outlive its CHD.
struct patch_in_steps {
    browser_storage files;
    browser_report report;
    std::unique_ptr<chd_patch> chd;
};
std::unique_ptr<patch_in_steps> pending;

// A decoding worker's CHD, opened once for every batch it decodes.
struct decoder {
    browser_storage files;
    std::unique_ptr<chd_hunks> hunks;
};
std::unique_ptr<decoder> decoding;

// Where the bytes that hunks `from` to `from + count` keep lie in the file:
// from the first to the end of the last (none where no hunk keeps any).
std::pair<std::uint64_t, std::uint64_t> batch_span(const chd_hunks& hunks, std::uint64_t from,
                                                   int count) {
    const std::vector<map_entry>& entries = hunks.image().map().entries;
    const std::uint64_t end = std::min<std::uint64_t>(
        from + static_cast<std::uint64_t>(count < 0 ? 0 : count), entries.size());
    std::uint64_t low = UINT64_MAX;
    std::uint64_t high = 0;
    for (std::uint64_t h = from; h < end; ++h) {
        const map_entry& e = entries[static_cast<std::size_t>(h)];
        if (e.type <= hunk_stored) {
            low = std::min(low, e.offset);
            high = std::max(high, e.offset + e.length);
        }
    }
    return {low, std::max(low, high)};
}

std::string_view bytes_of(const char* data, int length) {
    return {data, static_cast<std::size_t>(length < 0 ? 0 : length)};
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int bootgraft_patch(const char* name, const char* ip, int ip_length) {
    auto run = std::make_unique<patch_in_steps>();
    begun_patch begun = begin_patch(run->files, run->report, name, bytes_of(ip, ip_length));
    if (!begun.chd) {
        return begun.status;
    }
    run->chd = std::move(begun.chd);
    pending = std::move(run);
    return 1;
}

// How many hunks bootgraft_hash wants, from hunk 0.
EMSCRIPTEN_KEEPALIVE double bootgraft_hunks_to_hash() {
    return static_cast<double>(pending->chd->hunks_to_hash());
}

// The next hunks in order, whole, back to back; a length below 0 for a
// hunk that did not decode.
EMSCRIPTEN_KEEPALIVE void bootgraft_hash(const char* hunks, int length) {
    if (length < 0) {
        pending->chd->hash(std::nullopt);
        return;
    }
    const std::size_t size = pending->chd->hunks().image().header().hunk_bytes;
    const std::string_view all = bytes_of(hunks, length);
    for (std::size_t at = 0; at < all.size(); at += size) {
        pending->chd->hash(all.substr(at, size));
    }
}

// Where the next batch's bytes lie, for this worker to read them for the
// decoder it goes to: the host's span, none where no hunk keeps any.
EMSCRIPTEN_KEEPALIVE void bootgraft_batch_span(double first, int count) {
    const auto span = batch_span(pending->chd->hunks(), static_cast<std::uint64_t>(first), count);
    if (span.first < span.second) {
        hand_out_span(pending->chd->hunks().file(), static_cast<std::int64_t>(span.first),
                      static_cast<std::int64_t>(span.second - span.first));
    }
}

EMSCRIPTEN_KEEPALIVE int bootgraft_finish() {
    const int status = pending->chd->finish();
    pending.reset();
    return status;
}

// The CHD `name` opened for decoding: its number of hunks, or -1.
EMSCRIPTEN_KEEPALIVE double bootgraft_decoder_open(const char* name) {
    decoding = std::make_unique<decoder>();
    decoding->hunks = chd_hunks::open(decoding->files, name);
    if (!decoding->hunks) {
        decoding.reset();
        return -1;
    }
    return static_cast<double>(decoding->hunks->image().header().hunk_count());
}

// Hunks `first` to `first + count` decoded, handed to the host back to
// back: 0, or -1 where one does not decode (or the CHD did not open).
EMSCRIPTEN_KEEPALIVE int bootgraft_decode(double first, int count) {
    if (!decoding) {
        return -1;
    }
    const auto from = static_cast<std::uint64_t>(first);
    // Read at once: a decoder's batches are not next to each other, so
    // reading ahead of each hunk would read the other decoders' too.
    const auto span = batch_span(*decoding->hunks, from, count);
    if (span.first < span.second) {
        read_ahead(decoding->hunks->file(), static_cast<std::int64_t>(span.first),
                   static_cast<std::int64_t>(span.second - span.first));
    }
    std::string hunks;
    hunks.reserve(static_cast<std::size_t>(count < 0 ? 0 : count) *
                  decoding->hunks->image().header().hunk_bytes);
    for (std::uint64_t h = from; h < from + static_cast<std::uint64_t>(count); ++h) {
        const std::optional<std::string> hunk = decoding->hunks->decode(h);
        if (!hunk) {
            return -1;
        }
        hunks += *hunk;
    }
    hand_out_hunks(hunks);
    return 0;
}

EMSCRIPTEN_KEEPALIVE int bootgraft_extract(const char* name) {
    browser_storage files;
    browser_report report;
    const extraction taken = extract_system_area(files, name);
    if (!taken.refusal.empty()) {
        report.line(taken.refusal);
        return -1;
    }
    report.line(taken.sector_line);
    hand_out_ip(taken.ip);
    return 0;
}
}
