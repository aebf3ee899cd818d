// The system's files behind the engine: a file opened by its path, a
// folder listed, the block written in place and put back should that fail,
// a file rewritten whole through a temporary file beside it.
#include "platform/native_storage.hpp"

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <system_error>

#include "engine/report.hpp"
#include "platform/os_file.hpp"
#include "platform/temporary_file.hpp"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t copy_chunk = std::int64_t{1} << 20;

class native_file final : public stored_file {
public:
    [[nodiscard]] std::int64_t size() const override { return file.size(); }
    [[nodiscard]] std::string read_at(std::int64_t offset, std::int64_t count) const override {
        return file.read_at(offset, count);
    }
    [[nodiscard]] bool regular_file() const override { return file.regular_file(); }

    os_file file;
    std::string path;
};

native_file& own(stored_file& file) { return static_cast<native_file&>(file); }

// The block goes where it was read. Closing is part of the write: a system
// may report a failed write only there.
bool write_and_close(os_file& image, std::int64_t offset, std::string_view bytes) {
    const bool written = image.write_at(offset, bytes);
    return image.close() && written;
}

// After a failed write: first the length it came with (the patch never
// shortens an image), which frees what growth took on a full disk, then the
// bytes the patch replaced. Whatever the system still refuses here, the
// message that follows reports.
void roll_back(const std::string& path, std::int64_t length, std::int64_t offset,
               std::string_view original) {
    os_file image;
    if (image.open(path, os_file::access::update)) {
        static_cast<void>(image.resize(length));
        static_cast<void>(write_and_close(image, offset, original));
    }
}

// The new file, piece by piece: the old file's runs copied in chunks, so
// that no more than one chunk of it is held.
bool write_pieces(const os_file& from, const os_file& to, const std::vector<file_piece>& pieces,
                  run_report& report) {
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
            report.progress("writing", static_cast<std::uint64_t>(at), total);
        }
    }
    return true;
}

}  // namespace

std::unique_ptr<stored_file> native_storage::open(const std::string& path, file_access how) {
    auto opened = std::make_unique<native_file>();
    if (!opened->file.open(
            path, how == file_access::read ? os_file::access::read : os_file::access::update)) {
        return nullptr;
    }
    opened->path = path;
    return opened;
}

// The names as UTF-8 on Windows and as the bytes stored elsewhere.
std::vector<std::string> native_storage::entries(const std::string& folder, std::string_view name) {
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator entry(fs::u8path(folder.empty() ? "." : folder), error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        names.push_back(entry->path().filename().u8string());
    }
    return error ? std::vector<std::string>{std::string(name)} : names;
}

// Both paths come from the system, resolved the same way.
bool native_storage::lies_in(const stored_file& file, const std::string& folder) {
    const std::string resolved = static_cast<const native_file&>(file).file.final_path();
    const std::string resolved_folder = final_folder_path(folder);
    return !resolved.empty() && !resolved_folder.empty() &&
           fs::u8path(resolved).parent_path() == fs::u8path(resolved_folder);
}

bool native_storage::same_file(const std::string& first, const std::string& second) {
    std::error_code error;
    return fs::equivalent(fs::u8path(first), fs::u8path(second), error);
}

// A run that waited for the lock may find that the run before it renamed a
// new file over the one it locked: it takes that one instead, or it would
// patch the old data and drop the other run's patch. Holding the lock, it
// clears what runs killed outright left beside the file.
std::unique_ptr<stored_file> native_storage::open_for_rewrite(const std::string& path) {
    constexpr int attempts = 64;
    for (int i = 0; i < attempts; ++i) {
        std::unique_ptr<stored_file> opened = open(path, file_access::read);
        const os_file* file = opened ? &own(*opened).file : nullptr;
        if (file == nullptr || !file->regular_file() || !file->lock()) {
            return nullptr;
        }
        if (file->named_by(path)) {
            remove_leftovers_of(path);
            return opened;
        }
    }
    return nullptr;
}

bool native_storage::write_block(stored_file& file, std::int64_t offset, std::string_view bytes,
                                 std::string_view original, std::int64_t length) {
    native_file& image = own(file);
    if (write_and_close(image.file, offset, bytes)) {
        return true;
    }
    roll_back(image.path, length, offset, original);
    return false;
}

bool native_storage::replace(stored_file& file, const std::string& path,
                             const std::vector<file_piece>& pieces, run_report& report) {
    os_file& original = own(file).file;
    temporary_file temporary;
    return temporary.create(path) && write_pieces(original, temporary.file(), pieces, report) &&
           temporary.replace(original, path);
}
