// The rename fallback decided by the error alone, not by guessing the
// volume's file system from its name.
#include "platform/rename_fallback.hpp"

bool posix_rename_unsupported(std::uint32_t error) {
    return error == windows_error::invalid_function || error == windows_error::not_supported ||
           error == windows_error::invalid_parameter ||
           error == windows_error::file_system_limitation;
}
