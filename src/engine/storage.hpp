// What the engine asks of wherever an image's files are kept: files opened
// by path and read at offsets, a folder's names, and the two kinds of write
// a run ends with. The console commands answer it from the system's files,
// the browser from the folder the user picked; the engine never knows which.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "chd/chd_rewrite.hpp"

class run_report;

// How a file is opened: only read, or read and written in place (never
// created or truncated).
enum class file_access { read, update };

// One open file.
class stored_file {
public:
    stored_file() = default;
    stored_file(const stored_file&) = delete;
    stored_file& operator=(const stored_file&) = delete;
    virtual ~stored_file() = default;

    // Its length in bytes; -1 where it cannot tell (a pipe).
    [[nodiscard]] virtual std::int64_t size() const = 0;
    // Up to `count` bytes from `offset`: fewer at the end, none where it
    // cannot be read.
    [[nodiscard]] virtual std::string read_at(std::int64_t offset, std::int64_t count) const = 0;
    // A regular file, not a pipe, device or folder: only such a file holds
    // an image whose length means something and is never waited on.
    [[nodiscard]] virtual bool regular_file() const = 0;
};

class storage {
public:
    storage() = default;
    storage(const storage&) = delete;
    storage& operator=(const storage&) = delete;
    virtual ~storage() = default;

    // The file at `path`, opened as `how` says; null where it cannot be.
    [[nodiscard]] virtual std::unique_ptr<stored_file> open(const std::string& path,
                                                            file_access how) = 0;

    // The names in `folder` ("" for the one an image argument without a
    // folder lies in). A folder that may be entered but not listed yields
    // `name` alone, which it may still hold.
    [[nodiscard]] virtual std::vector<std::string> entries(const std::string& folder,
                                                           std::string_view name) = 0;

    // Whether `file` lies directly in `folder` with every link followed, the
    // folder's own too: no link beside a downloaded sheet may lead out of it.
    [[nodiscard]] virtual bool lies_in(const stored_file& file, const std::string& folder) = 0;

    // Whether two paths name one file.
    [[nodiscard]] virtual bool same_file(const std::string& first, const std::string& second) = 0;

    // The file at `path`, open, held against every other run that would
    // write it anew until the replace() that ends this run, and still named
    // `path` (not a file another run has since renamed over it); null where
    // it cannot be had.
    [[nodiscard]] virtual std::unique_ptr<stored_file> open_for_rewrite(
        const std::string& path) = 0;

    // The writes, the last thing a run does. `bytes` over `file` (opened
    // for update) at `offset`, where `original` stood in a file `length`
    // bytes long; false when it failed, the original bytes and length then
    // put back as far as the system lets them.
    [[nodiscard]] virtual bool write_block(stored_file& file, std::int64_t offset,
                                           std::string_view bytes, std::string_view original,
                                           std::int64_t length) = 0;

    // `file` (from open_for_rewrite) at `path` replaced whole by a new file
    // made of `pieces`, the runs among them copied from `file`; false when
    // it failed, `path` then as it was and nothing left beside it.
    [[nodiscard]] virtual bool replace(stored_file& file, const std::string& path,
                                       const std::vector<file_piece>& pieces,
                                       run_report& report) = 0;
};
