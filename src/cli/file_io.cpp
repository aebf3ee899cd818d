#include "cli/file_io.hpp"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "cli/console.hpp"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#endif

namespace {

// How many of `count` bytes `step(done, asked)` moves, one call of at most
// a gibibyte at a time (well within what any system call takes): each
// moves up to `asked` bytes from `done` on and says how many, none (0 or
// less) at the end of the file or on a failure.
template <typename Step>
std::int64_t in_pieces(std::int64_t count, const Step& step) {
    constexpr std::int64_t most_per_call = std::int64_t{1} << 30;
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t moved = step(done, std::min(count - done, most_per_call));
        if (moved <= 0) {
            break;
        }
        done += moved;
    }
    return done;
}

}  // namespace

os_file::os_file(os_file&& other) noexcept { *this = std::move(other); }

os_file& os_file::operator=(os_file&& other) noexcept {
    if (this != &other) {
        static_cast<void>(close());
#ifdef _WIN32
        std::swap(handle_, other.handle_);
#else
        std::swap(descriptor_, other.descriptor_);
#endif
    }
    return *this;
}

os_file::~os_file() { static_cast<void>(close()); }

std::string os_file::read_at(std::int64_t offset, std::int64_t count) const {
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)));
    const std::int64_t got =
        !is_open() || offset < 0 ? 0 : in_pieces(count, [&](std::int64_t done, std::int64_t asked) {
            return read_piece(bytes.data() + done, asked, offset + done);
        });
    bytes.resize(static_cast<std::size_t>(got));
    return bytes;
}

bool os_file::write_at(std::int64_t offset, std::string_view bytes) const {
    const auto count = static_cast<std::int64_t>(bytes.size());
    return is_open() && offset >= 0 &&
           in_pieces(count, [&](std::int64_t done, std::int64_t asked) {
               return write_piece(bytes.data() + done, asked, offset + done);
           }) == count;
}

temporary_file::~temporary_file() {
    if (!path_.empty()) {
        static_cast<void>(file_.close());
        static_cast<void>(remove_file(path_));
    }
}

// A dot name with 64 random bits: no other run, and no user, picks it;
// should one exist all the same, the next draw is taken.
bool temporary_file::create(const std::string& beside) {
    const std::size_t slash = beside.find_last_of(
#ifdef _WIN32
        "/\\:"
#else
        '/'
#endif
    );
    const std::string folder = slash == std::string::npos ? "" : beside.substr(0, slash + 1);
    const std::string name = beside.substr(folder.size());
    std::random_device source;
    constexpr int attempts = 16;
    for (int i = 0; i < attempts; ++i) {
        const std::uint64_t draw = std::uint64_t{source()} << 32 | source();
        std::array<char, 17> suffix{};
        static_cast<void>(std::snprintf(suffix.data(), suffix.size(), "%016llx",
                                        static_cast<unsigned long long>(draw)));
        std::string candidate = folder;
        candidate += '.';
        candidate += name;
        candidate += '.';
        candidate += suffix.data();
        candidate += ".tmp";
        if (file_.open(candidate, os_file::access::create_new)) {
            path_ = candidate;
            return true;
        }
    }
    return false;
}

bool temporary_file::replace(os_file& original, const std::string& path) {
    if (!file_.take_access_of(original) || !file_.sync() || !file_.close()) {
        return false;
    }
    // A system without POSIX renames (Windows before 10, Wine) will not
    // replace a file that is open: the original, and its lock, go first.
    if (!rename_over(path_, path) && (!original.close() || !rename_over(path_, path))) {
        return false;
    }
    path_.clear();
    sync_folder_of(path);
    return true;
}

#ifdef _WIN32

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

// The rename that replaces a file others hold open (the patch keeps the
// original open and locked until the rename): POSIX semantics, which
// MoveFileExW lacks. False where the system does not offer them.
bool rename_posix(const std::wstring& source, const std::wstring& target) {
    HANDLE from = CreateFileW(source.c_str(), DELETE | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (from == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::size_t name_bytes = target.size() * sizeof(wchar_t);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name_bytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    info->FileNameLength = static_cast<DWORD>(name_bytes);
    std::memcpy(info->FileName, target.c_str(), name_bytes);
    // FileRenameInfoEx, which the headers declare only for later targets.
    constexpr auto rename_ex = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    const bool renamed =
        SetFileInformationByHandle(from, rename_ex, info, static_cast<DWORD>(buffer.size())) != 0;
    static_cast<void>(CloseHandle(from));
    return renamed;
}

}  // namespace

bool rename_over(const std::string& from, const std::string& to) {
    const std::wstring source = utf16(from);
    const std::wstring target = utf16(to);
    return !source.empty() && !target.empty() &&
           (rename_posix(source, target) ||
            MoveFileExW(source.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0);
}

void sync_folder_of(const std::string& /*path*/) {}  // the rename was written through

bool remove_file(const std::string& path) {
    const std::wstring wide = utf16(path);
    return !wide.empty() && DeleteFileW(wide.c_str()) != 0;
}

void keep_running_past_size_limits() {}  // Windows sends no signal for it

#else

namespace {

// A call cut short by a signal is made again.
template <typename Call>
std::int64_t uninterrupted(const Call& call) {
    ssize_t moved = 0;
    do {
        moved = call();
    } while (moved < 0 && errno == EINTR);
    return moved;
}

}  // namespace

// Non-blocking, so that opening a pipe or a device never waits for a
// writer or a medium; a regular file reads and writes as ever.
bool os_file::open(const std::string& path, access how) {
    static_cast<void>(close());
    constexpr int always = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    const int flags = how == access::read ? O_RDONLY
                      : how == access::update ? O_RDWR
                                              : O_WRONLY | O_CREAT | O_EXCL;
    constexpr mode_t everyone = 0666;  // as the umask allows
    const auto open_with = [&](int extra) {
        return static_cast<int>(
            uninterrupted([&] { return ::open(path.c_str(), flags | always | extra, everyone); }));
    };
    // Only read, a file keeps even its access time where its owner reads it;
    // others may not ask for that, and read it as ever.
#ifdef O_NOATIME
    const int keep_access_time = how == access::read ? O_NOATIME : 0;
#else
    const int keep_access_time = 0;  // a system without it
#endif
    descriptor_ = open_with(keep_access_time);
    if (descriptor_ < 0 && errno == EPERM && how == access::read) {
        descriptor_ = open_with(0);
    }
    // A folder opens for reading here, as it never does on Windows: it is
    // no file to read.
    struct stat status {};
    if (is_open() && (fstat(descriptor_, &status) != 0 || S_ISDIR(status.st_mode))) {
        static_cast<void>(close());
    }
    return is_open();
}

bool os_file::is_open() const { return descriptor_ >= 0; }

bool os_file::regular_file() const {
    struct stat status {};
    return is_open() && fstat(descriptor_, &status) == 0 && S_ISREG(status.st_mode);
}

// Linux keeps the opened file's path in /proc; macOS tells it through fcntl.
std::string os_file::final_path() const {
    if (!is_open()) {
        return {};
    }
#ifdef F_GETPATH
    std::string path(PATH_MAX, '\0');
    if (fcntl(descriptor_, F_GETPATH, path.data()) == -1) {
        return {};
    }
    return path.substr(0, path.find('\0'));
#else
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(descriptor_), error)
        .string();
#endif
}

std::string final_folder_path(const std::string& path) {
    std::error_code error;
    return std::filesystem::canonical(path.empty() ? "." : path, error).string();
}

// Where the file ends, rather than what fstat says: a block device's
// status gives no length, its end does.
std::int64_t os_file::size() const {
    return is_open() ? std::int64_t{lseek(descriptor_, 0, SEEK_END)} : -1;
}

std::int64_t os_file::read_piece(char* bytes, std::int64_t count, std::int64_t offset) const {
    return uninterrupted([&] {
        return pread(descriptor_, bytes, static_cast<std::size_t>(count),
                     static_cast<off_t>(offset));
    });
}

std::int64_t os_file::write_piece(const char* bytes, std::int64_t count,
                                  std::int64_t offset) const {
    return uninterrupted([&] {
        return pwrite(descriptor_, bytes, static_cast<std::size_t>(count),
                      static_cast<off_t>(offset));
    });
}

bool os_file::resize(std::int64_t length) const {
    return is_open() && length >= 0 && ftruncate(descriptor_, static_cast<off_t>(length)) == 0;
}

bool os_file::sync() const { return is_open() && fsync(descriptor_) == 0; }

// Not retried after EINTR: on Linux the descriptor is gone by then.
bool os_file::close() {
    if (!is_open()) {
        return false;
    }
    const bool closed = ::close(descriptor_) == 0;
    descriptor_ = -1;
    return closed;
}

bool os_file::lock() const {
    return is_open() && uninterrupted([&] { return ssize_t{flock(descriptor_, LOCK_EX)}; }) == 0;
}

bool os_file::named_by(const std::string& path) const {
    struct stat mine {};
    struct stat named {};
    return is_open() && fstat(descriptor_, &mine) == 0 && stat(path.c_str(), &named) == 0 &&
           mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

// The owner first: changing it may clear the set-user and set-group bits.
bool os_file::take_access_of(const os_file& original) const {
    struct stat status {};
    if (!is_open() || !original.is_open() || fstat(original.descriptor_, &status) != 0) {
        return false;
    }
    if (fchown(descriptor_, status.st_uid, status.st_gid) != 0 && errno != EPERM) {
        return false;
    }
    constexpr mode_t permission_bits = 07777;
    return fchmod(descriptor_, status.st_mode & permission_bits) == 0;
}

bool rename_over(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void sync_folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        static_cast<void>(fsync(descriptor));
        static_cast<void>(::close(descriptor));
    }
}

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

void keep_running_past_size_limits() { static_cast<void>(std::signal(SIGXFSZ, SIG_IGN)); }

#endif
