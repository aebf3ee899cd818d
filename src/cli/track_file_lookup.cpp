// The folder listed, the pure choice made, the chosen file opened and
// checked where it really lies.
#include "cli/track_file_lookup.hpp"

#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "containers/container.hpp"
#include "containers/track_file_name.hpp"

namespace fs = std::filesystem;

namespace {

// The names in `folder`, as UTF-8 on Windows and as the bytes stored
// elsewhere. A folder that may be entered but not listed still yields the
// file it holds under exactly `name`, as before there was a listing.
std::vector<std::string> entries_of(const std::string& folder, std::string_view name) {
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator entry(fs::u8path(folder.empty() ? "." : folder), error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        names.push_back(entry->path().filename().u8string());
    }
    return error ? std::vector<std::string>{std::string(name)} : names;
}

// Both paths come from the system, resolved the same way.
bool lies_directly_in(const os_file& file, const std::string& folder) {
    const std::string resolved = file.final_path();
    const std::string resolved_folder = final_folder_path(folder);
    return !resolved.empty() && !resolved_folder.empty() &&
           fs::u8path(resolved).parent_path() == fs::u8path(resolved_folder);
}

}  // namespace

std::string open_track_file(const std::string& container_path, std::string_view name,
                            os_file::access how, os_file& file) {
    const std::string folder = folder_of(container_path);
    const std::optional<std::string> entry = track_file_entry(name, entries_of(folder, name));
    if (!entry || !file.open(folder + *entry, how) || !file.regular_file() ||
        !lies_directly_in(file, folder)) {
        static_cast<void>(file.close());
        return {};
    }
    return folder + *entry;
}
