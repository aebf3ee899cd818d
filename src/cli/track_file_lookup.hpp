// Opens a file that a track table names: found among the entries of the
// sheet's folder, and used only where it really lies in that folder.
#pragma once

#include <string>
#include <string_view>

#include "cli/file_io.hpp"

// Opens `file` for `how` as the file that the container at `container_path`
// names `name` (a name alone). The entry is the one the table means
// (track_file_entry): in another letter case or code page too. Once open,
// it must be a regular file directly in the container's folder with links
// followed, the folder's own too, so that no link beside a downloaded sheet
// can aim the patch at a file elsewhere. The path opened, or empty (and
// `file` closed) where there is no such file.
std::string open_track_file(const std::string& container_path, std::string_view name,
                            os_file::access how, os_file& file);
