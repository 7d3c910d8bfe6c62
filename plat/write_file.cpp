// The one writer of whole files (see files.h): links followed only where that is safe, a file
// replaced only by a complete new one that keeps its protection, and no write that waits long.
#include "plat/files.h"
#include "plat/files_local.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "plat/window.h"
#include "plat/window_local.h"

namespace {

struct WriteFailure {
    std::string* why;
    // The step and the system's reason for errno.
    int fail(const char* step)
    {
        const int e = errno;
        if (why) *why = std::string(step) + ": " + std::strerror(e);
        errno = e;
        return 0;
    }
    // A reason of our own.
    int refuse(const std::string& reason)
    {
        if (why) *why = reason;
        return 0;
    }
};

// Tests take the named route of a file system without unnamed files, and fail the folder sync.
std::atomic<int> g_unnamed_allowed{1};
std::atomic<int (*)(int)> g_folder_sync{::fsync};

constexpr int PLAT_NAME_ATTEMPTS = 16;
constexpr int PLAT_LINK_HOPS_MAX = 40;         // as many as the kernel follows
constexpr int PLAT_WRITE_POLL_SLICE_MS = 100;  // how soon an end signal is seen while waiting
constexpr char PLAT_ACL_ACCESS[] = "system.posix_acl_access";
constexpr char PLAT_USER_ATTRIBUTES[] = "user.";

// ---- where a path leads -------------------------------------------------------------------

// The name a path finally leads to, with no link left in it.
struct Target {
    std::string path;
    bool exists = false;
    struct stat st {};  // of path, when it exists
};

// Puts the components of text in front of those still to walk (the back of `rest` is the
// next). A text ending in a separator ends in "." too, so that the name before it must be a
// folder.
void push_components(std::string_view text, std::vector<std::string>* rest)
{
    std::vector<std::string> parts;
    for (size_t pos = 0; pos <= text.size();) {
        size_t end = text.find('/', pos);
        if (end == std::string_view::npos) end = text.size();
        if (end > pos) parts.emplace_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    if (!text.empty() && text.back() == '/') parts.emplace_back(".");
    rest->insert(rest->end(), parts.rbegin(), parts.rend());
}

std::string joined(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + '/' + name;
}

// The folder above `folder`, which holds no link ("" is the current folder).
std::string parent_of(const std::string& folder)
{
    if (folder == "/") return folder;
    const size_t slash = folder.rfind('/');
    const std::string_view last =
        std::string_view(folder).substr(slash == std::string::npos ? 0 : slash + 1);
    if (folder.empty() || last == "..") return joined(folder, "..");
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : folder.substr(0, slash);
}

std::string folder_of(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The kernel's protected-symlink rule, applied whether or not the kernel applies it: in a
// sticky folder that others may write into, anyone may have put the link, so it is followed
// only when it belongs to the user or to the folder's owner.
bool may_follow(const std::string& folder, const struct stat& link, WriteFailure& out)
{
    struct stat dir;
    if (::stat(folder.empty() ? "." : folder.c_str(), &dir) != 0) return out.fail("open");
    const bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
    if (!shared || link.st_uid == ::geteuid() || link.st_uid == dir.st_uid) return true;
    return out.refuse("follow link: another user's link in a shared sticky folder");
}

bool read_link(const std::string& path, std::string* text, WriteFailure& out)
{
    text->assign(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), text->data(), text->size());
    if (n < 0) return out.fail("read link");
    if (n == 0 || size_t(n) == text->size()) {
        errno = n == 0 ? ENOENT : ENAMETOOLONG;
        return out.fail("read link");
    }
    text->resize(size_t(n));
    return true;
}

// Walks path component by component as the kernel would, following every link (a chain too)
// under the rule above. A missing last component is a new name in the folder reached.
bool find_target(const std::string& path, Target* t, WriteFailure& out)
{
    std::vector<std::string> rest;
    push_components(path, &rest);
    std::string at = path[0] == '/' ? "/" : "";
    int hops = 0;
    while (!rest.empty()) {
        const std::string name = std::move(rest.back());
        rest.pop_back();
        if (name == "." || name == "..") {
            struct stat st;
            if (::stat(at.empty() ? "." : at.c_str(), &st) != 0) return out.fail("open");
            if (!S_ISDIR(st.st_mode)) {
                errno = ENOTDIR;
                return out.fail("open");
            }
            if (name == "..") at = parent_of(at);
            continue;
        }
        const std::string next = joined(at, name);
        struct stat st;
        if (::lstat(next.c_str(), &st) != 0) {
            if (errno != ENOENT || !rest.empty()) return out.fail("open");
            t->path = next;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            at = next;
            continue;
        }
        if (++hops > PLAT_LINK_HOPS_MAX) {
            errno = ELOOP;
            return out.fail("open");
        }
        std::string text;
        if (!may_follow(at, st, out) || !read_link(next, &text, out)) return false;
        if (text[0] == '/') at = "/";
        push_components(text, &rest);
    }
    t->path = at.empty() ? "." : at;
    t->exists = ::lstat(t->path.c_str(), &t->st) == 0;
    return t->exists || out.fail("open");
}

// ---- writing ------------------------------------------------------------------------------

// Every byte, from offset `at` (or from the current position when at < 0).
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

// A name in folder whose length never depends on the name being saved, so that a name of the
// longest legal length can still be saved, and whose random part no other user can foresee
// and take first. False with errno when no random bytes came.
bool temporary_name(const std::string& folder, std::string* name)
{
    uint64_t r = 0;
    ssize_t n;
    while ((n = ::getrandom(&r, sizeof r, 0)) < 0 && errno == EINTR) {}
    if (n != ssize_t(sizeof r)) return false;
    char tail[40];
    std::snprintf(tail, sizeof tail, "/.quorvel-%016llx.part", static_cast<unsigned long long>(r));
    *name = folder + tail;
    return true;
}

// The new file the bytes go to before they replace anything.
struct NewFile {
    int fd = -1;
    std::string name;  // empty while the file has no name
};

// A new file in folder: unnamed where the file system allows it, so that a process killed
// while writing leaves nothing behind; else under a temporary name. False with errno.
bool open_new_file(const std::string& folder, mode_t mode, NewFile* f)
{
    if (g_unnamed_allowed) {
        f->fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (f->fd >= 0) return true;
        // Older kernels and some file systems answer these for a file system without unnamed
        // files.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    }
    for (int attempt = 0; attempt < PLAT_NAME_ATTEMPTS; ++attempt) {
        if (!temporary_name(folder, &f->name)) break;
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

// Puts the complete new file at target. An unnamed file is linked straight in where nothing is
// there; a link never replaces a name, so otherwise it is linked under a temporary name and
// renamed over target at once: the temporary name exists only between those two calls.
int put_at_target(NewFile& f, const std::string& target, bool replace, WriteFailure& out)
{
    if (f.name.empty()) {
        if (!replace && link_unnamed(f.fd, target)) return 1;
        if (!replace && errno != EEXIST) return out.fail("link");
        for (int attempt = 0; attempt < PLAT_NAME_ATTEMPTS && f.name.empty(); ++attempt) {
            std::string name;
            if (!temporary_name(folder_of(target), &name)) break;
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

// The new name is lasting only once its folder is synced. A folder the user may not open, or
// a file system that syncs no folder, leaves that to the system.
int sync_folder(const std::string& path, WriteFailure& out)
{
    const int fd = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno == EACCES ? 1 : out.fail("sync folder");
    const int ok = g_folder_sync.load()(fd) == 0 || errno == EINVAL ? 1 : out.fail("sync folder");
    return close_checked(fd, ok, out);
}

// ---- what protects the old file -----------------------------------------------------------

// An attribute value or a name list, asked for by size first; false with errno.
template <typename Query>
bool read_sized(std::string* out, Query query)
{
    for (;;) {
        const ssize_t size = query(nullptr, 0);
        if (size < 0) return false;
        out->resize(size_t(size));
        const ssize_t n = query(out->data(), out->size());
        if (n >= 0) {
            out->resize(size_t(n));
            return true;
        }
        if (errno != ERANGE) return false;  // grown meanwhile: asked again
    }
}

bool read_attribute(const std::string& path, const char* name, std::string* value)
{
    return read_sized(value,
                      [&](char* buf, size_t n) { return ::lgetxattr(path.c_str(), name, buf, n); });
}

// The old file's access ACL, or its absence: a new file may have got one from its folder's
// default ACL, which the old file did not have.
bool copy_acl(int fd, const std::string& old_path)
{
    std::string acl;
    if (read_attribute(old_path, PLAT_ACL_ACCESS, &acl))
        return ::fsetxattr(fd, PLAT_ACL_ACCESS, acl.data(), acl.size(), 0) == 0;
    if (errno != ENODATA && errno != ENOTSUP) return false;
    return ::fremovexattr(fd, PLAT_ACL_ACCESS) == 0 || errno == ENODATA || errno == ENOTSUP;
}

// The extended attributes a user may set ("user.*"); the kernel's and the security modules'
// own are theirs to give.
bool copy_user_attributes(int fd, const std::string& old_path)
{
    std::string names;
    if (!read_sized(&names,
                    [&](char* buf, size_t n) { return ::llistxattr(old_path.c_str(), buf, n); }))
        return errno == ENOTSUP;
    for (size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        const char* name = names.c_str() + at;
        if (std::strncmp(name, PLAT_USER_ATTRIBUTES, sizeof PLAT_USER_ATTRIBUTES - 1) != 0)
            continue;
        std::string value;
        if (!read_attribute(old_path, name, &value) ||
            ::fsetxattr(fd, name, value.data(), value.size(), 0) != 0)
            return false;
    }
    return true;
}

// The new file takes over what the old one was: owner and group where we may (else the group
// alone, where we may), mode, access ACL and user attributes. False with errno when the
// protection could not be carried over.
bool take_over_protection(int fd, const std::string& old_path, const struct stat& old)
{
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        [[maybe_unused]] const int group = ::fchown(fd, uid_t(-1), old.st_gid);
    }
    return ::fchmod(fd, old.st_mode & 07777) == 0 && copy_acl(fd, old_path) &&
           copy_user_attributes(fd, old_path);
}

// The new bytes go to a new file beside target, which replaces target only once complete.
// *in_place is set when target may be written in place instead: its folder takes no new file
// or no new name over target for want of permission, or the new file cannot take over the old
// one's protection.
int replace_whole(const std::string& target, const struct stat* old, std::span<const uint8_t> bytes,
                  WriteFailure& out, bool* in_place)
{
    NewFile f;
    if (!open_new_file(folder_of(target), old ? 0600 : 0666, &f)) {
        *in_place = errno == EACCES || errno == EPERM;
        return out.fail("create a new file beside it");
    }
    int ok = 1;
    if (old && !take_over_protection(f.fd, target, *old)) {
        *in_place = true;
        ok = out.fail("keep the old file's protection");
    }
    if (ok && !write_all(f.fd, bytes, -1))
        ok = out.fail("write");
    else if (ok && ::fsync(f.fd) != 0)
        ok = out.fail("sync");
    if (ok) {
        ok = put_at_target(f, target, old != nullptr, out);
        // A sticky folder lets only the owner replace a name; a file the user may write is then
        // written in place, as `echo >` would.
        if (!ok && old && (errno == EPERM || errno == EACCES)) *in_place = true;
    }
    ok = close_checked(f.fd, ok, out);
    if (!f.name.empty()) {
        const int e = errno;
        ::unlink(f.name.c_str());
        errno = e;
    }
    return ok && sync_folder(target, out);
}

// Room for the whole new content before any old byte is overwritten, so that a lack of space
// fails with the old bytes intact. Where the file system reserves nothing, the part past the
// old end is written first, for the same reason.
bool reserve(int fd, off_t old_size, std::span<const uint8_t> bytes)
{
    if (bytes.empty()) return true;
    if (::fallocate(fd, 0, 0, off_t(bytes.size())) == 0) return true;
    if (errno != EOPNOTSUPP) return false;
    return off_t(bytes.size()) <= old_size ||
           write_all(fd, bytes.subspan(size_t(old_size)), old_size);
}

// Writes over the regular file at target without removing it or cutting it first: the room
// is reserved, the bytes written, the file cut to their size and synced.
int write_in_place(const std::string& target, std::span<const uint8_t> bytes, WriteFailure& out)
{
    // Should a link or a pipe have taken the name meanwhile: refused, never waited on.
    const int fd =
        ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
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

int64_t now_ms(void)
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
}

// Waits in short slices until fd takes bytes again (or reports the error the next write
// gives), the deadline passes or an end signal came.
int wait_for_room(int fd, int64_t deadline, WriteFailure& out)
{
    for (;;) {
        if (plat_term_requested()) return out.refuse("write: given up for an end signal");
        const int64_t left = deadline - now_ms();
        if (left <= 0)
            return out.refuse("write: not taken within " +
                              std::to_string(PLAT_WRITE_SPECIAL_MAX_MS / 1000) + " s, given up");
        pollfd p{fd, POLLOUT, 0};
        const int n = ::poll(&p, 1, int(std::min<int64_t>(left, PLAT_WRITE_POLL_SLICE_MS)));
        if (n > 0) return 1;
        if (n < 0 && errno != EINTR) return out.fail("write");
    }
}

// Writes to a device or a pipe at target. The descriptor stays non-blocking: a reader that
// stops reading costs a bounded wait, never the program.
int write_to_special(const std::string& target, std::span<const uint8_t> bytes, WriteFailure& out)
{
    // A pipe without a reader fails at once instead of waiting for one.
    const int fd =
        ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return out.fail("open");
    const int64_t deadline = now_ms() + PLAT_WRITE_SPECIAL_MAX_MS;
    int ok = 1;
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (n < 0 && errno == EAGAIN)
            ok = wait_for_room(fd, deadline, out);
        else if (n == 0 || errno != EINTR) {
            if (n == 0) errno = EIO;
            ok = out.fail("write");
        }
    }
    return close_checked(fd, ok, out);
}

}  // namespace

int plat_path_names_folder(std::string_view path)
{
    const size_t slash = path.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return !path.empty() && (last.empty() || last == "." || last == "..");
}

int plat_write_file(std::string_view path, std::span<const uint8_t> bytes, std::string* why)
{
    WriteFailure out{why};
    if (why) why->clear();
    const std::string chosen(path);
    if (chosen.empty() || plat_path_names_folder(chosen)) {
        errno = chosen.empty() ? ENOENT : EISDIR;
        return out.fail("open");
    }
    Target t;
    if (!find_target(chosen, &t, out)) return 0;
    bool in_place = false;
    if (!t.exists) return replace_whole(t.path, nullptr, bytes, out, &in_place);
    if (S_ISDIR(t.st.st_mode)) {
        errno = EISDIR;
        return out.fail("open");
    }
    if (!S_ISREG(t.st.st_mode)) return write_to_special(t.path, bytes, out);
    // A file the user could not open for writing is not the user's to replace.
    if (::faccessat(AT_FDCWD, t.path.c_str(), W_OK, AT_EACCESS) != 0) return out.fail("open");
    if (replace_whole(t.path, &t.st, bytes, out, &in_place)) return 1;
    if (!in_place) return 0;
    if (why) why->clear();
    return write_in_place(t.path, bytes, out);
}

void plat_write_file_unnamed(int allowed) { g_unnamed_allowed = allowed ? 1 : 0; }

void plat_write_file_folder_sync(int (*sync)(int fd)) { g_folder_sync = sync ? sync : ::fsync; }
