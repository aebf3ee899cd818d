// Opens a file that a track table names: found among the entries of the
// sheet's folder, and used only where it really lies in that folder.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/storage.hpp"

struct track_file {
    std::string path;  // empty where there is no such file
    std::unique_ptr<stored_file> file;
};

// The file that the container at `container_path` names `name` (a name
// alone), opened as `how` says. The entry is the one the table means
// (track_file_entry): in another letter case or code page too. Once open,
// it must be a regular file directly in the container's folder with links
// followed, the folder's own too, so that no link beside a downloaded sheet
// can aim the patch at a file elsewhere.
track_file open_track_file(storage& files, const std::string& container_path, std::string_view name,
                           file_access how);
