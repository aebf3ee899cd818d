// The system's files on Windows: handles opened by their UTF-16 names, read
// and written at offsets, LockFileEx for the lock, and the console's
// interrupts that must not leave a file behind.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/os_file.hpp"
#include "platform/rename_fallback.hpp"
#include "platform/windows_text.hpp"

namespace {

HANDLE native(void* handle) { return static_cast<HANDLE>(handle); }

OVERLAPPED at_offset(std::int64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFU);
    where.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32U);
    return where;
}

}  // namespace

// Others may read and write the file meanwhile, as the C library lets them,
// and rename another over it, as POSIX lets them.
bool os_file::open(const std::string& path, access how) {
    static_cast<void>(close());
    const std::wstring wide = utf16(path);
    if (wide.empty()) {
        return false;
    }
    const DWORD rights = how == access::read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD disposition = how == access::create_new ? CREATE_NEW : OPEN_EXISTING;
    HANDLE opened =
        CreateFileW(wide.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    handle_ = opened == INVALID_HANDLE_VALUE ? nullptr : opened;
    return is_open();
}

bool os_file::is_open() const { return handle_ != nullptr; }

bool os_file::regular_file() const {
    return is_open() && GetFileType(native(handle_)) == FILE_TYPE_DISK;
}

namespace {

// The handle's path with links and short names resolved, as \\?\C:\... .
std::string final_path_of(HANDLE handle) {
    std::wstring wide(MAX_PATH, L'\0');
    for (int tries = 0; tries < 2; ++tries) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, wide.data(), static_cast<DWORD>(wide.size()), 0);
        if (length == 0) {
            return {};
        }
        if (length < wide.size()) {
            wide.resize(length);
            return std::filesystem::path(wide).u8string();
        }
        wide.resize(length);  // what it needs, the terminator included
    }
    return {};
}

}  // namespace

std::string os_file::final_path() const { return is_open() ? final_path_of(native(handle_)) : ""; }

// A folder opens as a handle only for its backup semantics, and needs no
// access rights to be named.
std::string final_folder_path(const std::string& path) {
    const std::wstring wide = utf16(path.empty() ? "." : path);
    HANDLE folder =
        wide.empty()
            ? INVALID_HANDLE_VALUE
            : CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string resolved = final_path_of(folder);
    static_cast<void>(CloseHandle(folder));
    return resolved;
}

std::int64_t os_file::size() const {
    LARGE_INTEGER size{};
    return is_open() && GetFileSizeEx(native(handle_), &size) != 0 ? size.QuadPart : -1;
}

std::int64_t os_file::read_piece(char* bytes, std::int64_t count, std::int64_t offset) const {
    OVERLAPPED where = at_offset(offset);
    DWORD moved = 0;
    return ReadFile(native(handle_), bytes, static_cast<DWORD>(count), &moved, &where) == 0
               ? 0
               : std::int64_t{moved};
}

std::int64_t os_file::write_piece(const char* bytes, std::int64_t count,
                                  std::int64_t offset) const {
    OVERLAPPED where = at_offset(offset);
    DWORD moved = 0;
    return WriteFile(native(handle_), bytes, static_cast<DWORD>(count), &moved, &where) == 0
               ? 0
               : std::int64_t{moved};
}

bool os_file::resize(std::int64_t length) const {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = length;
    return is_open() && length >= 0 &&
           SetFileInformationByHandle(native(handle_), FileEndOfFileInfo, &end, sizeof end) != 0;
}

bool os_file::sync() const { return is_open() && FlushFileBuffers(native(handle_)) != 0; }

bool os_file::close() {
    if (!is_open()) {
        return false;
    }
    const bool closed = CloseHandle(native(handle_)) != 0;
    handle_ = nullptr;
    return closed;
}

bool os_file::lock() const {
    OVERLAPPED from_start{};
    return is_open() && LockFileEx(native(handle_), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD,
                                   &from_start) != 0;
}

bool os_file::named_by(const std::string& path) const {
    const std::wstring wide = utf16(path);
    if (!is_open() || wide.empty()) {
        return false;
    }
    HANDLE named =
        CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION mine{};
    BY_HANDLE_FILE_INFORMATION theirs{};
    const bool same = GetFileInformationByHandle(native(handle_), &mine) != 0 &&
                      GetFileInformationByHandle(named, &theirs) != 0 &&
                      mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
                      mine.nFileIndexHigh == theirs.nFileIndexHigh &&
                      mine.nFileIndexLow == theirs.nFileIndexLow;
    static_cast<void>(CloseHandle(named));
    return same;
}

// A new file takes the folder's permissions, as the old one did.
bool os_file::take_access_of(const os_file& original) const {
    return is_open() && original.is_open();
}

namespace {

// (ERROR_FILE_SYSTEM_LIMITATION, 665, is not in MinGW's headers.)
static_assert(windows_error::invalid_function == ERROR_INVALID_FUNCTION &&
              windows_error::not_supported == ERROR_NOT_SUPPORTED &&
              windows_error::invalid_parameter == ERROR_INVALID_PARAMETER);

// The rename that replaces a file others hold open (the patch keeps the
// original open and locked until the rename): POSIX semantics, which
// MoveFileExW lacks. ERROR_SUCCESS, or why it was not done.
DWORD rename_posix(const std::wstring& source, const std::wstring& target) {
    HANDLE from = CreateFileW(source.c_str(), DELETE | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (from == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    const std::size_t name_bytes = target.size() * sizeof(wchar_t);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name_bytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    info->FileNameLength = static_cast<DWORD>(name_bytes);
    std::memcpy(info->FileName, target.c_str(), name_bytes);
    // FileRenameInfoEx, which the headers declare only for later targets.
    constexpr auto rename_ex = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    const DWORD error =
        SetFileInformationByHandle(from, rename_ex, info, static_cast<DWORD>(buffer.size())) != 0
            ? ERROR_SUCCESS
            : GetLastError();
    static_cast<void>(CloseHandle(from));
    return error;
}

}  // namespace

// A volume without POSIX renames (FAT32, exFAT) and a system without them
// (Windows before 10, Wine) will not replace a file that is open: there
// the original, and its lock, go first. Any other failure is final, as on
// POSIX: the lock is held to the end.
bool rename_over(const std::string& from, const std::string& to, os_file& original) {
    const std::wstring source = utf16(from);
    const std::wstring target = utf16(to);
    if (source.empty() || target.empty()) {
        return false;
    }
    const DWORD error = rename_posix(source, target);
    if (error == ERROR_SUCCESS) {
        return true;
    }
    return posix_rename_unsupported(error) && original.close() &&
           MoveFileExW(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void sync_folder_of(const std::string& /*path*/) {}  // the rename was written through

bool remove_file(const std::string& path) {
    const std::wstring wide = utf16(path);
    return !wide.empty() && DeleteFileW(wide.c_str()) != 0;
}

void keep_running_past_size_limits() {}  // Windows sends no signal for it

// Links are not followed to the file, and a file in the user's own folder
// is the user's: Windows keeps no owner a run could compare.
bool own_regular_file(const std::string& path) {
    const std::wstring wide = utf16(path);
    const DWORD attributes =
        wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

namespace {

// Windows calls the handler on a thread of its own: it waits for the lock
// while the main thread lists or unlists the file.
std::mutex interrupt_lock;
std::wstring listed;

BOOL WINAPI on_interrupt(DWORD /*event*/) {
    const std::lock_guard<std::mutex> held(interrupt_lock);
    if (!listed.empty()) {
        static_cast<void>(DeleteFileW(listed.c_str()));
    }
    return FALSE;  // then the run ends as it would have
}

}  // namespace

interrupts_held::interrupts_held() { interrupt_lock.lock(); }
interrupts_held::~interrupts_held() { interrupt_lock.unlock(); }

// Ctrl-C, Ctrl-Break and a closed console window alike.
void remove_on_interrupt(const std::string& path) {
    static bool installed = false;
    if (!installed) {
        installed = SetConsoleCtrlHandler(on_interrupt, TRUE) != 0;
    }
    listed = utf16(path);
}
