#include "cli/chd_patch.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <numeric>
#include <optional>
#include <thread>
#include <vector>

#include "chd/chd_hunk_encoder.hpp"
#include "chd/chd_image.hpp"
#include "chd/chd_rewrite.hpp"
#include "chd/chd_sha1.hpp"
#include "cli/console.hpp"
#include "cli/file_io.hpp"
#include "sectors/block_patch.hpp"

namespace {

// Decoded hunks waiting to be hashed, whatever the disc's size.
constexpr std::uint64_t most_bytes_in_flight = std::uint64_t{64} << 20;
constexpr std::int64_t copy_chunk = std::int64_t{1} << 20;
constexpr int ip_sectors = 16;

// A line on standard error that says how far a long run has come: only on
// a terminal, only once the run has taken a second, and wiped at the end.
class progress_line {
public:
    progress_line() : start_(std::chrono::steady_clock::now()), terminal_(error_is_terminal()) {}
    progress_line(const progress_line&) = delete;
    progress_line& operator=(const progress_line&) = delete;
    ~progress_line() {
        if (shown_) {
            static_cast<void>(std::fputs("\r                        \r", stderr));
        }
    }

    void show(const char* what, std::uint64_t done, std::uint64_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (!terminal_ || total == 0 || now - start_ < std::chrono::seconds(1) ||
            now - last_ < std::chrono::milliseconds(200)) {
            return;
        }
        last_ = now;
        shown_ = true;
        static_cast<void>(
            std::fprintf(stderr, "\r%s %3u%%", what, static_cast<unsigned>(done * 100 / total)));
        static_cast<void>(std::fflush(stderr));
    }

private:
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
    bool terminal_;
    bool shown_ = false;
};

// Threads that are joined however the scope is left.
class thread_group {
public:
    thread_group() = default;
    thread_group(const thread_group&) = delete;
    thread_group& operator=(const thread_group&) = delete;
    ~thread_group() {
        for (std::thread& t : threads_) {
            t.join();
        }
    }
    void start(const std::function<void()>& work) { threads_.emplace_back(work); }

private:
    std::vector<std::thread> threads_;
};

using hunk_source = std::function<std::optional<std::string>(std::uint64_t)>;

// The SHA1 of the first `logical` bytes of the hunks `source` gives: the
// hunks are decoded on every core, independent of one another, and hashed
// in order, with no more than a window of them held at once.
std::optional<chd_sha1> image_sha1(std::uint64_t count, std::uint64_t logical,
                                   std::uint32_t hunk_bytes, const hunk_source& source,
                                   progress_line& progress) {
    const unsigned workers = std::max(1U, std::thread::hardware_concurrency());
    const std::uint64_t window = std::max<std::uint64_t>(2, most_bytes_in_flight / hunk_bytes / 2);
    std::vector<std::optional<std::string>> slots(window);
    std::vector<char> ready(window, 0);
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t next = 0;
    std::uint64_t hashed = 0;
    sha1_hash hash;
    bool whole = true;
    {
        bool stop = false;  // outlives the threads, which the group joins first
        thread_group group;
        for (unsigned w = 0; w < workers; ++w) {
            group.start([&] {
                for (;;) {
                    std::uint64_t index = 0;
                    {
                        std::unique_lock<std::mutex> lock(mutex);
                        changed.wait(
                            lock, [&] { return stop || next >= count || next < hashed + window; });
                        if (stop || next >= count) {
                            return;
                        }
                        index = next++;
                    }
                    // Decoded outside the lock: that is the work done in parallel.
                    std::optional<std::string> hunk = source(index);
                    {
                        const std::lock_guard<std::mutex> lock(mutex);
                        slots[index % window] = std::move(hunk);
                        ready[index % window] = 1;
                    }
                    changed.notify_all();
                }
            });
        }
        for (std::uint64_t index = 0; index < count && whole; ++index) {
            std::optional<std::string> hunk;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return ready[index % window] != 0; });
                hunk = std::move(slots[index % window]);
                ready[index % window] = 0;
                hashed = index + 1;
                whole = hunk.has_value();
                stop = !whole;
            }
            changed.notify_all();
            if (whole) {
                const std::uint64_t left = logical - std::min(logical, index * hunk_bytes);
                hash.add(
                    std::string_view(*hunk).substr(0, std::min<std::uint64_t>(left, hunk_bytes)));
                progress.show("hashing", index + 1, count);
            }
        }
    }
    if (!whole) {
        return std::nullopt;
    }
    return hash.digest();
}

// The hunks that hold the 16 sectors, decoded, patched and encoded again:
// none where a hunk does not decode. A hunk the ip leaves as it was is
// left out.
std::optional<std::map<std::uint64_t, std::pair<std::string, encoded_hunk>>> patched_hunks(
    const chd_image& image, std::int64_t first_byte, sector_layout layout, const std::string& ip) {
    const chd_header& header = image.header();
    const std::uint64_t hunk_bytes = header.hunk_bytes;
    const auto start = static_cast<std::uint64_t>(first_byte);
    const std::uint64_t length =
        std::uint64_t{ip_sectors} * static_cast<std::uint64_t>(layout.sector_size);
    const std::uint64_t first = start / hunk_bytes;
    const std::uint64_t last = (start + length - 1) / hunk_bytes;
    std::string old;
    for (std::uint64_t h = first; h <= last; ++h) {
        std::optional<std::string> hunk = image.hunk(h);
        if (!hunk) {
            return std::nullopt;
        }
        old += *hunk;
    }
    std::string now = old;
    const std::uint64_t at = start - first * hunk_bytes;
    now.replace(at, length, patch_block(old.substr(at, length), layout, ip));
    std::map<std::uint64_t, std::pair<std::string, encoded_hunk>> hunks;
    for (std::uint64_t h = first; h <= last; ++h) {
        std::string hunk = now.substr((h - first) * hunk_bytes, hunk_bytes);
        if (hunk != std::string_view(old).substr((h - first) * hunk_bytes, hunk_bytes)) {
            encoded_hunk encoded =
                encode_hunk(hunk, header.codecs, header.unit_bytes == cd_frame_bytes);
            hunks.emplace(h, std::make_pair(std::move(hunk), std::move(encoded)));
        }
    }
    return hunks;
}

// The new file, piece by piece: the old file's runs copied in chunks, so
// that no more than one chunk of it is held.
bool write_pieces(const os_file& from, const os_file& to, const std::vector<file_piece>& pieces,
                  progress_line& progress) {
    const std::uint64_t total = std::accumulate(
        pieces.begin(), pieces.end(), std::uint64_t{0}, [](std::uint64_t sum, const file_piece& p) {
            return sum + (p.bytes.empty() ? p.length : p.bytes.size());
        });
    std::int64_t at = 0;
    for (const file_piece& piece : pieces) {
        if (!piece.bytes.empty()) {
            if (!to.write_at(at, piece.bytes)) {
                return false;
            }
            at += static_cast<std::int64_t>(piece.bytes.size());
            continue;
        }
        for (std::uint64_t done = 0; done < piece.length;) {
            const auto count =
                static_cast<std::int64_t>(std::min<std::uint64_t>(piece.length - done, copy_chunk));
            const std::string bytes =
                from.read_at(static_cast<std::int64_t>(piece.from + done), count);
            if (static_cast<std::int64_t>(bytes.size()) != count || !to.write_at(at, bytes)) {
                return false;
            }
            at += count;
            done += static_cast<std::uint64_t>(count);
            progress.show("writing", static_cast<std::uint64_t>(at), total);
        }
    }
    return true;
}

// With the file open and locked: everything from the first read to the
// rename.
int patch_locked(os_file& file, const std::string& path, std::int64_t first_byte,
                 sector_layout layout, const std::string& ip) {
    const std::int64_t size = file.size();
    const std::optional<chd_image> image = chd_image::open(
        [&file](std::int64_t offset, std::int64_t count) { return file.read_at(offset, count); },
        size, path);
    if (!image) {
        return fail("unknown image\n");
    }
    const chd_header& header = image->header();
    const auto patched = patched_hunks(*image, first_byte, layout, ip);
    if (!patched) {
        return fail(naming("can't read image", path));
    }
    if (patched->empty()) {
        return 0;
    }
    chd_rewrite_input input;
    input.header = header;
    input.metadata = image->metadata();
    input.entries = image->map().entries;
    input.file_size = static_cast<std::uint64_t>(size);
    for (const auto& hunk : *patched) {
        input.patched.emplace(hunk.first, hunk.second.second);
    }
    progress_line progress;
    // A file without codecs may carry no digests; it is left so.
    if (header.compressed() || header.raw_sha1 != chd_sha1{} || header.sha1 != chd_sha1{}) {
        const auto raw = image_sha1(
            header.hunk_count(), header.logical_bytes, header.hunk_bytes,
            [&image, &patched](std::uint64_t h) -> std::optional<std::string> {
                const auto hunk = patched->find(h);
                return hunk != patched->end() ? hunk->second.first : image->hunk(h);
            },
            progress);
        if (!raw) {
            return fail(naming("can't read image", path));
        }
        input.raw_sha1 = *raw;
    }
    const chd_rewrite plan = plan_rewrite(input);
    temporary_file temporary;
    if (!temporary.create(path) || !write_pieces(file, temporary.file(), plan.pieces, progress) ||
        !temporary.replace(file, path)) {
        return fail(naming("can't write image", path));
    }
    return 0;
}

// The file at `path`, open and locked. A run that waited for the lock may
// find that the run before it renamed a new file over the one it locked:
// it takes that one instead, or it would patch the old data and drop the
// other run's patch.
bool lock_current(os_file& file, const std::string& path) {
    constexpr int attempts = 64;
    for (int i = 0; i < attempts; ++i) {
        if (!file.open(path, os_file::access::read) || !file.regular_file() || !file.lock()) {
            return false;
        }
        if (file.named_by(path)) {
            return true;
        }
    }
    return false;
}

}  // namespace

int patch_chd(const std::string& path, std::int64_t first_byte, sector_layout layout,
              const std::string& ip) {
    os_file file;
    if (!lock_current(file, path)) {
        return fail(naming("can't open image", path));
    }
    return patch_locked(file, path, first_byte, layout, ip);
}
