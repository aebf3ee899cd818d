// Patching a CHD, in steps: planned (the file held, its System Area hunks
// patched), every hunk of the image decoded and hashed in order for the
// new digests, then finished (the whole file written again beside it, every
// other hunk's bytes copied as they are, and put in its place, while no
// other run may write it anew). The command runs the steps itself and
// decodes on its threads; a front-end without threads (the browser's
// engine) decodes elsewhere, through chd_hunks over the same file, and
// hands the hunks in.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "chd/chd_hunk_encoder.hpp"
#include "chd/chd_image.hpp"
#include "chd/chd_sha1.hpp"
#include "engine/report.hpp"
#include "engine/storage.hpp"
#include "sectors/sector_layout.hpp"

// A CHD's hunks decoded on demand, on any thread at once.
class chd_hunks {
public:
    // The CHD at `path` opened only to be read; null where it does not open
    // as one.
    static std::unique_ptr<chd_hunks> open(storage& files, const std::string& path);
    // The same over a file already open.
    static std::unique_ptr<chd_hunks> over(std::unique_ptr<stored_file> file,
                                           const std::string& path);

    // Hunk `index` as the file holds it, decoded and its CRC checked; none
    // where it does not decode.
    [[nodiscard]] std::optional<std::string> decode(std::uint64_t index) const {
        return image_.hunk(index);
    }
    [[nodiscard]] const chd_image& image() const { return image_; }
    [[nodiscard]] stored_file& file() const { return *file_; }

private:
    chd_hunks(std::unique_ptr<stored_file> file, chd_image image)
        : file_(std::move(file)), image_(std::move(image)) {}
    std::unique_ptr<stored_file> file_;
    chd_image image_;  // reads through file_
};

class chd_patch {
public:
    // Writes `ip` into the 16 sectors from logical byte `first_byte` of the
    // CHD at `path`, each `layout.sector_size` bytes with its user data at
    // `layout.data_offset` ({2448, d} for a CD track, {2048, 0} for a DVD).
    // Null after the line that refuses it; otherwise the file is held until
    // this is destroyed. `files` and `report` must outlive it.
    static std::unique_ptr<chd_patch> plan(storage& files, run_report& report,
                                           const std::string& path, std::int64_t first_byte,
                                           sector_layout layout, std::string sector_line,
                                           std::string_view ip);

    // How many hunks hash() wants, from hunk 0 in order: every one of the
    // image's, or none where the patch changes nothing or the file keeps no
    // digests.
    [[nodiscard]] std::uint64_t hunks_to_hash() const { return to_hash_; }
    // The held file's own hunks, for the threads that decode for this patch.
    [[nodiscard]] const chd_hunks& hunks() const { return *hunks_; }
    // The next hunk in order, as decoded; none where it did not decode,
    // which refuses the file (what follows is then ignored).
    void hash(std::optional<std::string_view> hunk);
    // Once every hunk is hashed: `sector_line` said, then the new file put
    // in place. 0, or -1 after the line that says why, the file as it was.
    int finish();

private:
    chd_patch(storage& files, run_report& report, std::string path, std::string sector_line)
        : files_(files), report_(report), path_(std::move(path)), line_(std::move(sector_line)) {}

    storage& files_;
    run_report& report_;
    std::string path_;
    std::string line_;
    std::unique_ptr<chd_hunks> hunks_;
    // The hunks the ip changes, by number: decoded as they will be, and encoded.
    std::map<std::uint64_t, std::pair<std::string, encoded_hunk>> patched_;
    std::uint64_t to_hash_ = 0;
    std::uint64_t hashed_ = 0;
    bool damaged_ = false;
    sha1_hash sha1_;
};

// The steps run here: decoded on `workers` threads (none: this one).
int run_chd_patch(chd_patch& patch, unsigned workers);
