// The one writer of whole files (see files.h).
#include "plat/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct WriteFailure {
    std::string* why;
    int fail(const char* step)
    {
        const int e = errno;
        if (why) *why = std::string(step) + ": " + std::strerror(e);
        errno = e;
        return 0;
    }
};

// Tests take the named route of a file system without unnamed files.
std::atomic<int> g_unnamed_allowed{1};

constexpr int PLAT_NAME_ATTEMPTS = 16;

// Every byte, from offset `at` (or from the current position when at < 0,
// which devices and pipes need).
bool write_all(int fd, std::span<const uint8_t> bytes, off_t at)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const uint8_t* p = bytes.data() + done;
        const size_t left = bytes.size() - done;
        const ssize_t n = at < 0 ? ::write(fd, p, left) : ::pwrite(fd, p, left, at + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

// Closes fd, keeping an earlier failure's reason; a failed close fails ok.
int close_checked(int fd, int ok, WriteFailure& out)
{
    const int e = errno;
    if (::close(fd) != 0 && ok) return out.fail("close");
    errno = e;
    return ok;
}

// Writes, syncs (regular files only: devices and pipes cannot be synced) and
// closes fd; the first failure's step and reason go to out.
int write_close(int fd, std::span<const uint8_t> bytes, bool sync, WriteFailure& out)
{
    int ok = 1;
    if (!write_all(fd, bytes, -1))
        ok = out.fail("write");
    else if (sync && ::fsync(fd) != 0)
        ok = out.fail("sync");
    return close_checked(fd, ok, out);
}

std::string folder_of(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name in folder whose length never depends on the name being saved, so
// that a name of the longest legal length can still be saved.
std::string temporary_name(const std::string& folder)
{
    static std::atomic<uint32_t> serial{0};
    char name[40];
    std::snprintf(name, sizeof name, "/.quorvel-%08x%04x.part", unsigned(::getpid()),
                  unsigned(serial++ & 0xFFFF));
    return folder + name;
}

// The new file the bytes go to before they replace anything.
struct NewFile {
    int fd = -1;
    std::string name;  // empty while the file has no name
};

// A new file in folder: unnamed where the file system allows it, so that a
// process killed while writing leaves nothing behind; else under a
// temporary name. False with errno on failure.
bool open_new_file(const std::string& folder, mode_t mode, NewFile* f)
{
    if (g_unnamed_allowed) {
        f->fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (f->fd >= 0) return true;
        // Older kernels and some file systems answer these for a file system
        // without unnamed files.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    }
    for (int attempt = 0; attempt < PLAT_NAME_ATTEMPTS; ++attempt) {
        f->name = temporary_name(folder);
        f->fd = ::open(f->name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (f->fd >= 0) return true;
        if (errno != EEXIST) break;
    }
    f->name.clear();
    return false;
}

// Gives the unnamed file open as fd the name `name`; EEXIST when it is taken.
bool link_unnamed(int fd, const std::string& name)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    // Without /proc: the descriptor itself, which needs privilege.
    return errno == ENOENT && ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
}

// Puts the complete new file at target. An unnamed file is linked straight
// in where nothing is there; a link never replaces a name, so otherwise it
// is linked under a temporary name and renamed over target at once: the
// temporary name exists only between those two calls.
int put_at_target(NewFile& f, const std::string& target, bool replace, WriteFailure& out)
{
    if (f.name.empty()) {
        if (!replace && link_unnamed(f.fd, target)) return 1;
        if (!replace && errno != EEXIST) return out.fail("link");
        for (int attempt = 0; attempt < PLAT_NAME_ATTEMPTS && f.name.empty(); ++attempt) {
            std::string name = temporary_name(folder_of(target));
            if (link_unnamed(f.fd, name))
                f.name = std::move(name);
            else if (errno != EEXIST)
                break;
        }
        if (f.name.empty()) return out.fail("link");
    }
    if (::rename(f.name.c_str(), target.c_str()) != 0) return out.fail("rename");
    f.name.clear();
    return 1;
}

void sync_folder(const std::string& path)
{
    const int fd = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The new bytes go to a new file beside target, which replaces target only
// once complete. *no_room is set when the folder takes no new file for want
// of permission (the caller may then write in place).
int replace_whole(const std::string& target, const struct stat* old, std::span<const uint8_t> bytes,
                  WriteFailure& out, bool* no_room)
{
    NewFile f;
    if (!open_new_file(folder_of(target), old ? 0600 : 0666, &f)) {
        *no_room = errno == EACCES || errno == EPERM;
        return out.fail("create a new file beside it");
    }
    if (old) {
        // The replacement keeps what the old file was: its mode and, where we
        // may, its owner.
        [[maybe_unused]] const int owned = ::fchown(f.fd, old->st_uid, old->st_gid);
        ::fchmod(f.fd, old->st_mode & 07777);
    }
    int ok = 1;
    if (!write_all(f.fd, bytes, -1))
        ok = out.fail("write");
    else if (::fsync(f.fd) != 0)
        ok = out.fail("sync");
    if (ok) ok = put_at_target(f, target, old != nullptr, out);
    ok = close_checked(f.fd, ok, out);
    if (!f.name.empty()) {
        const int e = errno;
        ::unlink(f.name.c_str());
        errno = e;
    }
    if (ok) sync_folder(target);
    return ok;
}

// Room for the whole new content before any old byte is overwritten, so that
// a lack of space fails with the old bytes intact. Where the file system
// reserves nothing, the part past the old end is written first, for the same
// reason.
bool reserve(int fd, off_t old_size, std::span<const uint8_t> bytes)
{
    if (bytes.empty()) return true;
    if (::fallocate(fd, 0, 0, off_t(bytes.size())) == 0) return true;
    if (errno != EOPNOTSUPP) return false;
    return off_t(bytes.size()) <= old_size ||
           write_all(fd, bytes.subspan(size_t(old_size)), old_size);
}

// Writes over the regular file at target without removing it or cutting it
// first: the room is reserved, the bytes written, the file cut to their size
// and synced.
int write_in_place(const std::string& target, std::span<const uint8_t> bytes, WriteFailure& out)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return out.fail("open");
    struct stat st;
    int ok = ::fstat(fd, &st) == 0 ? 1 : out.fail("open");
    if (ok && !reserve(fd, st.st_size, bytes)) {
        ok = out.fail("reserve space");
        // A reservation that failed part way leaves the old size.
        struct stat now;
        if (::fstat(fd, &now) == 0 && now.st_size > st.st_size) {
            const int e = errno;
            [[maybe_unused]] const int cut = ::ftruncate(fd, st.st_size);
            errno = e;
        }
    }
    if (ok && !write_all(fd, bytes, 0)) ok = out.fail("write");
    if (ok && ::ftruncate(fd, off_t(bytes.size())) != 0) ok = out.fail("cut to size");
    if (ok && ::fsync(fd) != 0) ok = out.fail("sync");
    return close_checked(fd, ok, out);
}

// Writes to a device or a pipe at target.
int write_to_special(const std::string& target, std::span<const uint8_t> bytes, WriteFailure& out)
{
    // Non-blocking open: a pipe without a reader fails instead of hanging.
    const int fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return out.fail("open");
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return write_close(fd, bytes, false, out);
}

}  // namespace

int plat_write_file(std::string_view path, std::span<const uint8_t> bytes, std::string* why)
{
    WriteFailure out{why};
    if (why) why->clear();
    const std::string target(path);
    if (target.empty()) {
        errno = ENOENT;
        return out.fail("open");
    }
    struct stat st;
    if (::stat(target.c_str(), &st) != 0) {
        if (errno != ENOENT) return out.fail("open");
        struct stat link;
        // A dangling link: its target is created as a plain write would.
        if (::lstat(target.c_str(), &link) == 0) {
            const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            return fd < 0 ? out.fail("open") : write_close(fd, bytes, true, out);
        }
        bool no_room = false;
        return replace_whole(target, nullptr, bytes, out, &no_room);
    }
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return out.fail("open");
    }
    if (!S_ISREG(st.st_mode)) return write_to_special(target, bytes, out);
    // Links resolved: the file that is replaced is the one they lead to.
    char* real = ::realpath(target.c_str(), nullptr);
    const std::string file = real ? std::string(real) : target;
    std::free(real);
    bool no_room = false;
    if (replace_whole(file, &st, bytes, out, &no_room)) return 1;
    if (!no_room) return 0;
    if (why) why->clear();
    return write_in_place(file, bytes, out);
}

void plat_write_file_unnamed(int allowed) { g_unnamed_allowed = allowed ? 1 : 0; }
