// One open file of the system's, read and written at given positions, and
// the few calls on names a whole file rewritten needs: POSIX descriptors
// (posix_file.cpp) or Windows handles opened by their UTF-16 names
// (windows_file.cpp). Nothing is buffered, so a read asks for no more than
// it needs and a write fails where it failed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class os_file {
public:
    enum class access {
        read,        // an existing file, only read
        update,      // an existing file, read and written; never created or truncated
        create_new,  // a file that must not exist yet, written
    };

    os_file() = default;
    os_file(const os_file&) = delete;
    os_file& operator=(const os_file&) = delete;
    os_file(os_file&& other) noexcept;
    os_file& operator=(os_file&& other) noexcept;
    // Closes what is still open; call close() first where the outcome matters.
    ~os_file();

    // The file at `path` (UTF-8 on Windows, the bytes given elsewhere), in
    // place of whatever this held. False when it cannot be opened so.
    [[nodiscard]] bool open(const std::string& path, access how);
    [[nodiscard]] bool is_open() const;

    // A regular file, not a pipe, device or folder: only such a file holds
    // an image whose length means something and is never waited on.
    [[nodiscard]] bool regular_file() const;

    // Where the opened file really lies, every link followed: the system's
    // own absolute path for it (UTF-8 on Windows); empty where it cannot
    // tell. Asked of the open file, it cannot name another file than the one
    // read and written, whatever happens to its name meanwhile.
    [[nodiscard]] std::string final_path() const;

    // Its length in bytes; -1 when it cannot tell (a pipe).
    [[nodiscard]] std::int64_t size() const;

    // Up to `count` bytes from `offset`: fewer at the end of the file, none
    // where it cannot be read.
    [[nodiscard]] std::string read_at(std::int64_t offset, std::int64_t count) const;

    // The writes leave the handle as it is, hence const; the file changes.
    // All of `bytes` at `offset`, lengthening the file where they pass its
    // end; false when any of them could not be written.
    [[nodiscard]] bool write_at(std::int64_t offset, std::string_view bytes) const;

    [[nodiscard]] bool resize(std::int64_t length) const;
    [[nodiscard]] bool sync() const;

    // Waits for, then holds until the close, the only exclusive lock on
    // the file: runs that rewrite it take turns.
    [[nodiscard]] bool lock() const;

    // Whether `path` still names this very file (not one renamed over it).
    [[nodiscard]] bool named_by(const std::string& path) const;

    // This file gets `original`'s permission bits, and its owner and group,
    // as far as the user may give them and the file system can keep them:
    // elsewhere they stay what a new file gets there.
    [[nodiscard]] bool take_access_of(const os_file& original) const;

    // False when the system reports a failure here: some report a failed
    // write only at the close. The handle is closed either way.
    [[nodiscard]] bool close();

private:
    // One call's worth at `offset`: how many bytes moved, none (0 or less)
    // at the end of the file or on a failure.
    std::int64_t read_piece(char* bytes, std::int64_t count, std::int64_t offset) const;
    std::int64_t write_piece(const char* bytes, std::int64_t count, std::int64_t offset) const;

#ifdef _WIN32
    void* handle_ = nullptr;  // a HANDLE; null when closed
#else
    int descriptor_ = -1;
#endif
};

// The same for the folder at `path` ("" for the current one).
std::string final_folder_path(const std::string& path);

// A write past a file-size limit must fail and be answered, where the
// signal's default would kill the tool half-way through.
void keep_running_past_size_limits();

// `from` renamed to `to`, replacing it whole, the rename itself on disk
// before this returns where the system says so. `original` is the file at
// `to`, held open by this run: where the system cannot rename over an open
// file (Windows before 10, Wine), it is closed, and its lock let go, for a
// second try. Elsewhere a failed rename is final.
[[nodiscard]] bool rename_over(const std::string& from, const std::string& to, os_file& original);

// The folder that holds `path` flushed, so that a rename in it lasts; a
// failure is not reported, as it comes after the rename.
void sync_folder_of(const std::string& path);

// Removes the file at `path`; false when it could not.
bool remove_file(const std::string& path);

// Whether `path` is a regular file of this user's, not followed through a link.
bool own_regular_file(const std::string& path);

// Interrupts (Ctrl-C, a closed terminal, a termination request) wait
// while one of these is held, so that a file made or renamed meanwhile is
// listed for removal, or unlisted, along with it.
class interrupts_held {
public:
    interrupts_held();
    interrupts_held(const interrupts_held&) = delete;
    interrupts_held& operator=(const interrupts_held&) = delete;
    ~interrupts_held();
};

// While a file is being made that must not outlast the run, an interrupt
// removes `path` before the run ends as the interrupt says; an empty path
// once it is gone or renamed. Called while interrupts are held.
void remove_on_interrupt(const std::string& path);
