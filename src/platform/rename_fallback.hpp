// Which of Windows' answers to the rename that replaces an open file mean
// that the volume or the system cannot do it at all, so that the plain
// rename, with the original closed first, is the one left to try.
#pragma once

#include <cstdint>

// Windows' error codes by value, so that this decision is tested on every
// system; the Windows build checks each against its headers.
namespace windows_error {
constexpr std::uint32_t invalid_function = 1;          // an information class it does not know
constexpr std::uint32_t not_supported = 50;            // FAT32, exFAT: no POSIX semantics there
constexpr std::uint32_t invalid_parameter = 87;        // before Windows 10 1607, and Wine
constexpr std::uint32_t file_system_limitation = 665;  // a file system that cannot do it
}  // namespace windows_error

// True for the answers of a system or volume without POSIX renames; any
// other failure is the rename's own and final.
[[nodiscard]] bool posix_rename_unsupported(std::uint32_t error);
