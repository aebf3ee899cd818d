// The system's files on POSIX systems: descriptors read and written with
// pread and pwrite, flock for the lock, and the signals that must not cut
// a run short or leave a file behind.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "platform/os_file.hpp"

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
    const int flags = how == access::read     ? O_RDONLY
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

namespace {

// What a file system answers when it cannot keep an owner or permission
// bits: FAT and exFAT (the kernel's drivers) refuse with EPERM what their
// mount options cannot represent, and some FUSE drivers have no such call
// at all. The new file then keeps what that file system keeps, as any file
// made there would.
bool cannot_keep(int error) { return error == EPERM || error == ENOSYS || error == EOPNOTSUPP; }

}  // namespace

// The owner first: changing it may clear the set-user and set-group bits.
bool os_file::take_access_of(const os_file& original) const {
    struct stat status {};
    if (!is_open() || !original.is_open() || fstat(original.descriptor_, &status) != 0) {
        return false;
    }
    if (fchown(descriptor_, status.st_uid, status.st_gid) != 0 && !cannot_keep(errno)) {
        return false;
    }
    constexpr mode_t permission_bits = 07777;
    return fchmod(descriptor_, status.st_mode & permission_bits) == 0 || cannot_keep(errno);
}

// POSIX renames over an open file: the original stays open, and locked,
// to the end, so a failure here is final. Trying again after letting the
// lock go would let a waiting run take the old file, and one of the two
// patches would be lost.
bool rename_over(const std::string& from, const std::string& to, os_file& /*original*/) {
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

bool own_regular_file(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           status.st_uid == geteuid();
}

namespace {

constexpr std::array<int, 3> interrupts{SIGINT, SIGTERM, SIGHUP};

// What the handler removes: set and cleared only while interrupts are
// blocked, so the handler never sees it half-changed.
std::string listed_path;
const char* volatile listed = nullptr;

// Only what is safe in a handler: the file goes, then the interrupt ends
// the run as it would have without the handler.
extern "C" void on_interrupt(int number) {
    if (listed != nullptr) {
        static_cast<void>(::unlink(listed));
    }
    static_cast<void>(std::signal(number, SIG_DFL));
    static_cast<void>(std::raise(number));
}

sigset_t interrupt_set() {
    sigset_t set{};
    sigemptyset(&set);
    for (const int number : interrupts) {
        sigaddset(&set, number);
    }
    return set;
}

sigset_t held_before{};
int holds = 0;

}  // namespace

interrupts_held::interrupts_held() {
    if (holds++ == 0) {
        const sigset_t set = interrupt_set();
        static_cast<void>(sigprocmask(SIG_BLOCK, &set, &held_before));
    }
}

interrupts_held::~interrupts_held() {
    if (--holds == 0) {
        static_cast<void>(sigprocmask(SIG_SETMASK, &held_before, nullptr));
    }
}

// The handler goes in once, where the interrupt is not ignored (nohup).
void remove_on_interrupt(const std::string& path) {
    static bool installed = false;
    if (!installed) {
        installed = true;
        for (const int number : interrupts) {
            struct sigaction current {};
            if (sigaction(number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
                struct sigaction handler {};
                handler.sa_handler = on_interrupt;
                sigemptyset(&handler.sa_mask);
                static_cast<void>(sigaction(number, &handler, nullptr));
            }
        }
    }
    listed_path = path;
    listed = listed_path.empty() ? nullptr : listed_path.c_str();
}

void keep_running_past_size_limits() { static_cast<void>(std::signal(SIGXFSZ, SIG_IGN)); }
