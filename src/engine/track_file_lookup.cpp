// The folder listed, the pure choice made, the chosen file opened and
// checked where it really lies.
#include "engine/track_file_lookup.hpp"

#include <optional>
#include <vector>

#include "containers/container.hpp"
#include "containers/track_file_name.hpp"

track_file open_track_file(storage& files, const std::string& container_path, std::string_view name,
                           file_access how) {
    const std::string folder = folder_of(container_path);
    const std::optional<std::string> entry = track_file_entry(name, files.entries(folder, name));
    track_file found;
    if (!entry) {
        return found;
    }
    found.file = files.open(folder + *entry, how);
    if (!found.file || !found.file->regular_file() || !files.lies_in(*found.file, folder)) {
        found.file.reset();
        return found;
    }
    found.path = folder + *entry;
    return found;
}
