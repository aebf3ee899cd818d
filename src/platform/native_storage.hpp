// The engine's storage answered from the system's own files, on POSIX
// systems and Windows alike: paths as the command line gives them.
#pragma once

#include "engine/storage.hpp"

class native_storage final : public storage {
public:
    std::unique_ptr<stored_file> open(const std::string& path, file_access how) override;
    std::vector<std::string> entries(const std::string& folder, std::string_view name) override;
    bool lies_in(const stored_file& file, const std::string& folder) override;
    bool same_file(const std::string& first, const std::string& second) override;
    std::unique_ptr<stored_file> open_for_rewrite(const std::string& path) override;
    bool write_block(stored_file& file, std::int64_t offset, std::string_view bytes,
                     std::string_view original, std::int64_t length) override;
    bool replace(stored_file& file, const std::string& path, const std::vector<file_piece>& pieces,
                 run_report& report) override;
};
