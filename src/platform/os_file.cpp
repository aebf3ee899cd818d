// What reading and writing at a position has in common on every system:
// the call made again until all the bytes moved, one piece at a time.
#include "platform/os_file.hpp"

#include <algorithm>
#include <utility>

namespace {

// How many of `count` bytes `step(done, asked)` moves, one call of at most
// a gibibyte at a time (well within what any system call takes): each
// moves up to `asked` bytes from `done` on and says how many, none (0 or
// less) at the end of the file or on a failure.
template <typename Step>
std::int64_t in_pieces(std::int64_t count, const Step& step) {
    constexpr std::int64_t most_per_call = std::int64_t{1} << 30;
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t moved = step(done, std::min(count - done, most_per_call));
        if (moved <= 0) {
            break;
        }
        done += moved;
    }
    return done;
}

}  // namespace

os_file::os_file(os_file&& other) noexcept { *this = std::move(other); }

os_file& os_file::operator=(os_file&& other) noexcept {
    if (this != &other) {
        static_cast<void>(close());
#ifdef _WIN32
        std::swap(handle_, other.handle_);
#else
        std::swap(descriptor_, other.descriptor_);
#endif
    }
    return *this;
}

os_file::~os_file() { static_cast<void>(close()); }

// A count past what a string can hold, which a 32-bit system's memory can
// fall short of, reads nothing: narrowed, it would read a wrapped amount.
std::string os_file::read_at(std::int64_t offset, std::int64_t count) const {
    std::string bytes;
    if (!is_open() || offset < 0 || count <= 0 ||
        static_cast<std::uint64_t>(count) > bytes.max_size()) {
        return bytes;
    }
    bytes.resize(static_cast<std::size_t>(count));
    const std::int64_t got = in_pieces(count, [&](std::int64_t done, std::int64_t asked) {
        return read_piece(bytes.data() + done, asked, offset + done);
    });
    bytes.resize(static_cast<std::size_t>(got));
    return bytes;
}

bool os_file::write_at(std::int64_t offset, std::string_view bytes) const {
    const auto count = static_cast<std::int64_t>(bytes.size());
    return is_open() && offset >= 0 &&
           in_pieces(count, [&](std::int64_t done, std::int64_t asked) {
               return write_piece(bytes.data() + done, asked, offset + done);
           }) == count;
}
