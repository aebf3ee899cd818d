// A new file beside another, under a name no other run picks, that is
// removed again unless it replaces the other: what a whole file rewritten
// goes through, so that a failure, an interrupt or a crash anywhere leaves
// the original as it was.
#pragma once

#include <string>
#include <string_view>

#include "platform/os_file.hpp"

class temporary_file {
public:
    temporary_file() = default;
    temporary_file(const temporary_file&) = delete;
    temporary_file& operator=(const temporary_file&) = delete;
    ~temporary_file();

    // Created in the folder of `beside`; false when it cannot be.
    [[nodiscard]] bool create(const std::string& beside);
    [[nodiscard]] const os_file& file() const { return file_; }

    // Flushed, given `original`'s access, closed and renamed over `path`,
    // then the folder flushed; false (the file then removed) on a failure
    // before the rename is done.
    [[nodiscard]] bool replace(os_file& original, const std::string& path);

private:
    os_file file_;
    std::string path_;  // empty once gone or renamed
};

// Whether `entry` is the name a temporary file beside the file `name` takes.
bool temporary_name_of(std::string_view entry, std::string_view name);

// The temporary files beside `path` that runs killed outright (SIGKILL, a
// power cut) left, this user's, removed. Only for a run that holds the
// file's lock: their writers held it too, and are gone.
void remove_leftovers_of(const std::string& path);
