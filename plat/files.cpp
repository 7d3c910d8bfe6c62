#include "plat/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "plat/log_text.h"

namespace {

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string lower_copy(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = ascii_lower(c);
    return out;
}

// Case-insensitive look-ups list a folder once and keep its names by their
// lower-case form, so that loading thousands of files from one folder costs
// one listing, not one per missing name. A kept listing is used only while
// the folder's identity and change times are those seen before listing it,
// and only when that change lies clearly in the past: a file system stamps
// times with a coarse clock, so a folder changed in the same tick as the
// listing could keep its stamp after a further change.
struct FolderIndex {
    std::string folder;  // as the caller named it ("" = current folder)
    dev_t dev = 0;
    ino_t ino = 0;
    timespec mtime{}, ctime{};
    std::unordered_map<std::string, std::string> names;  // lower-case -> listed name
};

constexpr int PLAT_FOLDER_INDEX_SLOTS = 8;
constexpr long PLAT_SETTLED_NS = 200'000'000;  // a change older than this is settled

struct FolderIndexCache {
    std::mutex lock;
    std::array<FolderIndex, PLAT_FOLDER_INDEX_SLOTS> slot;
    int next = 0;
    std::atomic<uint64_t> listings{0};
};
FolderIndexCache g_index;

bool same_time(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool same_folder(const FolderIndex& f, const std::string& folder, const struct stat& st)
{
    return f.folder == folder && f.dev == st.st_dev && f.ino == st.st_ino &&
           same_time(f.mtime, st.st_mtim) && same_time(f.ctime, st.st_ctim);
}

bool settled(const struct stat& st, const timespec& now)
{
    const int64_t changed = int64_t(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    const int64_t at = int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    return at - changed > PLAT_SETTLED_NS;
}

// Every name of the folder by its lower-case form; among names that differ
// only in case the first in listing order is kept, the same on every machine.
bool list_folder(const std::string& folder, FolderIndex* out)
{
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return false;
    g_index.listings++;
    out->names.clear();
    while (const dirent* e = ::readdir(d)) {
        const std::string_view n(e->d_name);
        auto [it, added] = out->names.try_emplace(lower_copy(n), n);
        if (!added && plat_name_less(n, it->second)) it->second = std::string(n);
    }
    ::closedir(d);
    return true;
}

// The entry of folder whose name equals name without regard to case.
bool find_nocase(const std::string& folder, std::string_view name, std::string* found)
{
    struct stat st;
    if (::stat(folder.empty() ? "." : folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    const std::string key = lower_copy(name);
    std::lock_guard<std::mutex> hold(g_index.lock);
    for (const FolderIndex& f : g_index.slot) {
        if (!same_folder(f, folder, st)) continue;
        auto it = f.names.find(key);
        if (it == f.names.end()) return false;
        *found = it->second;
        return true;
    }
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    FolderIndex listed;
    if (!list_folder(folder, &listed)) return false;
    auto it = listed.names.find(key);
    const bool any = it != listed.names.end();
    if (any) *found = it->second;
    if (settled(st, now)) {
        listed.folder = folder;
        listed.dev = st.st_dev;
        listed.ino = st.st_ino;
        listed.mtime = st.st_mtim;
        listed.ctime = st.st_ctim;
        g_index.slot[size_t(g_index.next)] = std::move(listed);
        g_index.next = (g_index.next + 1) % PLAT_FOLDER_INDEX_SLOTS;
    }
    return any;
}

bool match_from(std::string_view name, std::string_view pat)
{
    size_t n = 0, p = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pat.size() && (pat[p] == '?' || ascii_lower(pat[p]) == ascii_lower(name[n]))) {
            ++n;
            ++p;
        } else if (p < pat.size() && pat[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == '*') ++p;
    return p == pat.size();
}

}  // namespace

std::string plat_path_native(std::string_view path)
{
    std::string out(path);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

int plat_path_resolve(std::string_view path, std::string* out)
{
    const std::string native = plat_path_native(path);
    *out = native;
    if (native.empty()) return 0;
    if (exists(native)) return 1;
    // Walk the components, keeping exact ones and matching missing ones.
    std::string built;
    size_t pos = 0;
    if (native[0] == '/') {
        built = "/";
        pos = 1;
    }
    while (pos <= native.size()) {
        size_t end = native.find('/', pos);
        if (end == std::string::npos) end = native.size();
        const std::string_view comp(native.data() + pos, end - pos);
        if (!comp.empty()) {
            std::string candidate = built + std::string(comp);
            if (!exists(candidate)) {
                std::string found;
                if (comp == "." || comp == ".." || !find_nocase(built, comp, &found)) return 0;
                candidate = built + found;
            }
            built = candidate;
            if (end < native.size()) built += '/';
        }
        pos = end + 1;
    }
    *out = built;
    return 1;
}

namespace {

// The path a write goes to: an existing name as found, else the name as
// given inside its resolved folder.
std::string write_path(std::string_view path)
{
    std::string resolved;
    if (plat_path_resolve(path, &resolved)) return resolved;
    const size_t slash = resolved.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        std::string folder;
        if (plat_path_resolve(resolved.substr(0, slash), &folder))
            resolved = folder + resolved.substr(slash);
    }
    return resolved;
}

}  // namespace

std::FILE* plat_fopen(std::string_view path, const char* mode)
{
    if (mode[0] == 'r') {
        std::string resolved;
        return plat_path_resolve(path, &resolved) ? std::fopen(resolved.c_str(), mode) : nullptr;
    }
    return std::fopen(write_path(path).c_str(), mode);
}

int plat_is_dir(std::string_view path)
{
    std::string resolved;
    struct stat st;
    return plat_path_resolve(path, &resolved) && ::stat(resolved.c_str(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

int plat_is_file(std::string_view path)
{
    std::string resolved;
    struct stat st;
    return plat_path_resolve(path, &resolved) && ::stat(resolved.c_str(), &st) == 0 &&
           S_ISREG(st.st_mode);
}

int plat_path_exists(std::string_view path)
{
    const std::string exact(path);
    struct stat st;
    return !exact.empty() && ::lstat(exact.c_str(), &st) == 0;
}

int plat_name_matches(std::string_view name, std::string_view pattern)
{
    return match_from(name, pattern) ? 1 : 0;
}

bool plat_name_less(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char x = ascii_lower(a[i]), y = ascii_lower(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;  // std::string_view compares as unsigned bytes
}

int plat_list_files(std::string_view folder, std::string_view pattern,
                    std::vector<std::string>* names)
{
    names->clear();
    std::string dir;
    if (!plat_path_resolve(folder.empty() ? std::string_view(".") : folder, &dir)) return 0;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return 0;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    while (const dirent* e = ::readdir(d)) {
        const std::string_view n(e->d_name);
        if (!plat_name_matches(n, pattern)) continue;
        struct stat st;
        if (::stat((dir + std::string(n)).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        names->emplace_back(n);
    }
    ::closedir(d);
    std::sort(names->begin(), names->end(),
              [](const std::string& a, const std::string& b) { return plat_name_less(a, b); });
    return 1;
}

std::string plat_exe_dir(void)
{
    // readlink does not say whether it truncated: grow until the answer fits.
    std::string buf(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buf.size()) {
            buf.resize(static_cast<size_t>(n));
            break;
        }
        if (buf.size() >= (1u << 20)) return {};
        buf.resize(buf.size() * 2);
    }
    const size_t slash = buf.rfind('/');
    if (slash == std::string::npos) return {};
    return buf.substr(0, slash + 1);
}

std::string plat_current_dir(void)
{
    std::string buf(256, '\0');
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE || buf.size() >= (1u << 20)) return {};
        buf.resize(buf.size() * 2);
    }
    buf.resize(std::strlen(buf.c_str()));
    return buf;
}

int plat_set_current_dir(std::string_view path)
{
    if (path.empty()) return 0;
    std::string resolved;
    plat_path_resolve(path, &resolved);
    return ::chdir(resolved.c_str()) == 0 ? 1 : 0;
}

// ---- reading a data file -----------------------------------------------------------------

namespace {

int refuse(std::string_view path, const std::string& reason, std::string* why)
{
    std::fprintf(stderr, "file: not read \"%s\": %s\n", plat_log_escape(path).c_str(),
                 reason.c_str());
    if (why) *why = reason;
    return 0;
}

// Why a file of this kind and size is not read; empty when it is.
std::string refusal_of(const struct stat& st, uint64_t max)
{
    if (S_ISDIR(st.st_mode)) return "a folder, not a regular file";
    if (S_ISFIFO(st.st_mode)) return "a named pipe, not a regular file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device, not a regular file";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (uint64_t(st.st_size) > max)
        return std::to_string(st.st_size) + " bytes, over the limit of " + std::to_string(max);
    return {};
}

}  // namespace

PlatDataFile::~PlatDataFile() { plat_data_file_close(this); }

int plat_data_file_open(std::string_view path, uint64_t max, PlatDataFile* file, std::string* why)
{
    plat_data_file_close(file);
    file->size = file->pos = 0;
    file->error.clear();
    if (why) why->clear();
    max = std::min(max, PLAT_DATA_FILE_MAX);
    std::string resolved;
    if (!plat_path_resolve(path, &resolved)) return 0;
    // Looked at before opening, so that a device or a pipe is never opened;
    // looked at again on the opened file, which is what is read.
    struct stat st;
    if (::stat(resolved.c_str(), &st) != 0)
        return errno == ENOENT ? 0 : refuse(resolved, std::strerror(errno), why);
    std::string reason = refusal_of(st, max);
    if (!reason.empty()) return refuse(resolved, reason, why);
    // Non-blocking, should the name have become a pipe in between.
    const int fd = ::open(resolved.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? 0 : refuse(resolved, std::strerror(errno), why);
    if (::fstat(fd, &st) != 0) reason = std::strerror(errno);
    if (reason.empty()) reason = refusal_of(st, max);
    if (!reason.empty()) {
        ::close(fd);
        return refuse(resolved, reason, why);
    }
    file->fd = fd;
    file->size = uint64_t(st.st_size);
    file->path = std::move(resolved);
    return 1;
}

size_t plat_data_file_read(PlatDataFile* file, uint8_t* dst, size_t n)
{
    if (file->fd < 0 || !file->error.empty()) return 0;
    n = size_t(std::min<uint64_t>(n, file->size - file->pos));
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::read(file->fd, dst + done, n - done);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            file->error = r < 0 ? std::string(std::strerror(errno))
                                : "shorter than the " + std::to_string(file->size) +
                                      " bytes it held when opened";
            refuse(file->path, file->error, nullptr);
            break;
        }
        done += size_t(r);
    }
    file->pos += done;
    return done;
}

void plat_data_file_close(PlatDataFile* file)
{
    if (file->fd >= 0) ::close(file->fd);
    file->fd = -1;
}

int plat_read_data_file(std::string_view path, uint64_t max, std::vector<uint8_t>* out,
                        std::string* why)
{
    out->clear();
    PlatDataFile file;
    if (!plat_data_file_open(path, max, &file, why)) return 0;
    out->resize(size_t(file.size));
    if (plat_data_file_read(&file, out->data(), out->size()) == out->size()) return 1;
    out->clear();
    if (why) *why = file.error;
    return 0;
}

// ---- writing a whole file ----------------------------------------------------------------

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

uint64_t plat_folder_listings(void) { return g_index.listings.load(); }
