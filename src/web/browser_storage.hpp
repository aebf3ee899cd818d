// The engine's files and report in a browser: the one folder the user
// picked (or the files chosen), held by the module's worker as `Module.host`
// and reached through EM_JS calls. Reads are synchronous (the worker reads
// File slices with FileReaderSync); the one write a run ends with is handed
// to the worker, which makes it once the engine has returned.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/report.hpp"
#include "engine/storage.hpp"

// The bytes read back out by bootgraft_extract, and the hunks decoded by
// bootgraft_decode, handed to the host.
void hand_out_ip(std::string_view ip);
void hand_out_hunks(std::string_view hunks);
// `length` bytes of `file` from `offset` read now, for the reads that follow;
// or only said where they lie, for the host to read.
void read_ahead(const stored_file& file, std::int64_t offset, std::int64_t length);
void hand_out_span(const stored_file& file, std::int64_t offset, std::int64_t length);

// Paths are names alone in the one folder; "" is that folder. The browser
// has no links, and a picked folder nothing outside it.
class browser_storage final : public storage {
public:
    browser_storage();

    [[nodiscard]] std::unique_ptr<stored_file> open(const std::string& path,
                                                    file_access how) override;
    [[nodiscard]] std::vector<std::string> entries(const std::string& folder,
                                                   std::string_view name) override;
    [[nodiscard]] bool lies_in(const stored_file& file, const std::string& folder) override;
    [[nodiscard]] bool same_file(const std::string& first, const std::string& second) override;
    [[nodiscard]] std::unique_ptr<stored_file> open_for_rewrite(const std::string& path) override;
    [[nodiscard]] bool write_block(stored_file& file, std::int64_t offset, std::string_view bytes,
                                   std::string_view original, std::int64_t length) override;
    [[nodiscard]] bool replace(stored_file& file, const std::string& path,
                               const std::vector<file_piece>& pieces, run_report& report) override;

private:
    std::vector<std::string> names_;  // the folder's entries, UTF-8
};

class browser_report final : public run_report {
public:
    void line(const std::string& text) override;
    void progress(const char* what, std::uint64_t done, std::uint64_t total) override;
};
