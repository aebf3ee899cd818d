// A CHD patch's steps, and the threads that decode hunks ahead for the
// command while its own thread hashes them in order.
#include "engine/chd_patch.hpp"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "chd/chd_hunk_encoder.hpp"
#include "chd/chd_image.hpp"
#include "chd/chd_rewrite.hpp"
#include "chd/chd_sha1.hpp"
#include "engine/messages.hpp"
#include "sectors/block_patch.hpp"

namespace {

// Decoded hunks waiting to be hashed, whatever the disc's size.
constexpr std::uint64_t most_bytes_in_flight = std::uint64_t{64} << 20;
constexpr int ip_sectors = 16;

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

// Hunks decoded ahead of the one asked for on worker threads, independent
// of one another, and handed out in order, with no more than a window of
// them held at once.
class decoded_ahead {
public:
    decoded_ahead(std::uint64_t count, std::size_t window, const hunk_source& source,
                  unsigned workers)
        : count_(count), slots_(window), ready_(window, 0) {
        for (unsigned w = 0; w < workers; ++w) {
            group_.start([this, &source] { decode(source); });
        }
    }
    decoded_ahead(const decoded_ahead&) = delete;
    decoded_ahead& operator=(const decoded_ahead&) = delete;
    // The workers stop at their next hunk; the group joins them.
    ~decoded_ahead() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
    }

    // Hunk `index`, the one after the last taken.
    std::optional<std::string> take(std::uint64_t index) {
        std::optional<std::string> hunk;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return ready_[slot(index)] != 0; });
            hunk = std::move(slots_[slot(index)]);
            ready_[slot(index)] = 0;
            taken_ = index + 1;
        }
        changed_.notify_all();
        return hunk;
    }

private:
    // Below the number of slots, which a size_t holds: the narrowing keeps it.
    [[nodiscard]] std::size_t slot(std::uint64_t index) const {
        return static_cast<std::size_t>(index % slots_.size());
    }

    void decode(const hunk_source& source) {
        for (;;) {
            std::uint64_t index = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] {
                    return stop_ || next_ >= count_ || next_ < taken_ + slots_.size();
                });
                if (stop_ || next_ >= count_) {
                    return;
                }
                index = next_++;
            }
            // Decoded outside the lock: that is the work done in parallel.
            std::optional<std::string> hunk = source(index);
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                slots_[slot(index)] = std::move(hunk);
                ready_[slot(index)] = 1;
            }
            changed_.notify_all();
        }
    }

    std::uint64_t count_;
    std::vector<std::optional<std::string>> slots_;
    std::vector<char> ready_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t next_ = 0;
    std::uint64_t taken_ = 0;
    bool stop_ = false;
    thread_group group_;  // last, so that it joins before the state goes
};

// The hunks that hold the 16 sectors, decoded, patched and encoded again:
// none where a hunk does not decode. A hunk the ip leaves as it was is
// left out.
std::optional<std::map<std::uint64_t, std::pair<std::string, encoded_hunk>>> patched_hunks(
    const chd_image& image, std::int64_t first_byte, sector_layout layout, std::string_view ip) {
    const chd_header& header = image.header();
    const std::size_t hunk_bytes = header.hunk_bytes;
    const auto start = static_cast<std::uint64_t>(first_byte);
    const std::size_t length =
        std::size_t{ip_sectors} * static_cast<std::size_t>(layout.sector_size);
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
    const auto at = static_cast<std::size_t>(start - first * hunk_bytes);  // within the first hunk
    now.replace(at, length, patch_block(old.substr(at, length), layout, ip));
    std::map<std::uint64_t, std::pair<std::string, encoded_hunk>> hunks;
    for (std::uint64_t h = first; h <= last; ++h) {
        const auto from = static_cast<std::size_t>(h - first) * hunk_bytes;
        std::string hunk = now.substr(from, hunk_bytes);
        if (hunk != std::string_view(old).substr(from, hunk_bytes)) {
            encoded_hunk encoded =
                encode_hunk(hunk, header.codecs, header.unit_bytes == cd_frame_bytes);
            hunks.emplace(h, std::make_pair(std::move(hunk), std::move(encoded)));
        }
    }
    return hunks;
}

}  // namespace

std::unique_ptr<chd_hunks> chd_hunks::open(storage& files, const std::string& path) {
    std::unique_ptr<stored_file> opened = files.open(path, file_access::read);
    if (!opened) {
        return nullptr;
    }
    return over(std::move(opened), path);
}

std::unique_ptr<chd_hunks> chd_hunks::over(std::unique_ptr<stored_file> file,
                                           const std::string& path) {
    const stored_file& reader = *file;
    std::optional<chd_image> chd =
        chd_image::open([&reader](std::int64_t offset,
                                  std::int64_t count) { return reader.read_at(offset, count); },
                        reader.size(), path);
    // The reader is the file's own, which the new object keeps.
    if (!chd) {
        return nullptr;
    }
    return std::unique_ptr<chd_hunks>(new chd_hunks(std::move(file), std::move(*chd)));
}

// A hunk that does not decode, or fails its CRC, is damage: such a file is
// no image to patch.
std::unique_ptr<chd_patch> chd_patch::plan(storage& files, run_report& report,
                                           const std::string& path, std::int64_t first_byte,
                                           sector_layout layout, std::string sector_line,
                                           std::string_view ip) {
    std::unique_ptr<stored_file> file = files.open_for_rewrite(path);
    if (!file) {
        report.line(naming("can't open image", path));
        return nullptr;
    }
    std::unique_ptr<chd_patch> patch(new chd_patch(files, report, path, std::move(sector_line)));
    patch->hunks_ = chd_hunks::over(std::move(file), path);
    auto patched = patch->hunks_ ? patched_hunks(patch->hunks_->image(), first_byte, layout, ip)
                                 : std::nullopt;
    if (!patched) {
        report.line("unknown image\n");
        return nullptr;
    }
    patch->patched_ = std::move(*patched);
    const chd_header& header = patch->hunks_->image().header();
    // A file without codecs may carry no digests; it is left so.
    const bool digests =
        header.compressed() || header.raw_sha1 != chd_sha1{} || header.sha1 != chd_sha1{};
    patch->to_hash_ = !patch->patched_.empty() && digests ? header.hunk_count() : 0;
    return patch;
}

void chd_patch::hash(std::optional<std::string_view> hunk) {
    if (damaged_ || hashed_ >= to_hash_) {
        return;
    }
    if (!hunk) {
        damaged_ = true;
        return;
    }
    const chd_header& header = hunks_->image().header();
    const auto patched = patched_.find(hashed_);
    const std::string_view bytes = patched != patched_.end() ? patched->second.first : *hunk;
    const std::uint64_t left =
        header.logical_bytes - std::min(header.logical_bytes, hashed_ * header.hunk_bytes);
    sha1_.add(bytes.substr(
        0, static_cast<std::size_t>(std::min<std::uint64_t>(left, header.hunk_bytes))));
    report_.progress("hashing", ++hashed_, to_hash_);
}

int chd_patch::finish() {
    if (damaged_ || hashed_ != to_hash_) {
        report_.line("unknown image\n");
        return -1;
    }
    report_.line(line_);
    if (patched_.empty()) {
        return 0;
    }
    const chd_image& image = hunks_->image();
    chd_rewrite_input input;
    input.header = image.header();
    input.metadata = image.metadata();
    input.entries = image.map().entries;
    input.file_size = static_cast<std::uint64_t>(hunks_->file().size());
    for (const auto& hunk : patched_) {
        input.patched.emplace(hunk.first, hunk.second.second);
    }
    if (to_hash_ != 0) {
        input.raw_sha1 = sha1_.digest();
    }
    if (!files_.replace(hunks_->file(), path_, plan_rewrite(input).pieces, report_)) {
        report_.line(naming("can't write image", path_));
        return -1;
    }
    return 0;
}

int run_chd_patch(chd_patch& patch, unsigned workers) {
    const std::uint64_t count = patch.hunks_to_hash();
    const hunk_source source = [&patch](std::uint64_t h) { return patch.hunks().decode(h); };
    std::optional<decoded_ahead> ahead;
    if (workers != 0 && count != 0) {
        const std::uint32_t hunk_bytes = patch.hunks().image().header().hunk_bytes;
        const auto window = static_cast<std::size_t>(
            std::max<std::uint64_t>(2, most_bytes_in_flight / hunk_bytes / 2));
        ahead.emplace(count, window, source, workers);
    }
    for (std::uint64_t index = 0; index < count; ++index) {
        const std::optional<std::string> hunk = ahead ? ahead->take(index) : source(index);
        if (!hunk) {
            patch.hash(std::nullopt);
            break;
        }
        patch.hash(*hunk);
    }
    return patch.finish();
}
