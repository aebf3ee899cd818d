// Which entry of a sheet's folder a track table means by a file name, when
// the sheet was written on another system: in another letter case, or in
// the Windows ANSI code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The entry to open for `name` (a name alone, as the table gives it) among
// the names in the sheet's folder, taking the first of these steps that
// finds any:
//   1. the name itself;
//   2. where the name is not UTF-8, its Windows-1252 reading;
//   3. the entries equal to it in any letter case (simple Unicode case
//      folding), the name and each entry read as UTF-8 where they are and
//      as Windows-1252 where they are not, a UTF-8 name being tried both ways.
// None where that step finds two or more, or no step finds any: a guess
// between twins could patch the wrong file.
std::optional<std::string> track_file_entry(std::string_view name,
                                            const std::vector<std::string>& entries);
