// Paths in the engine's form, case-insensitive look-ups, sorted folder listings and the reader
// of data files (the writer of whole files is write_file.cpp).
#include "plat/files.h"
#include "plat/files_local.h"

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

std::string plat_path_for_write(std::string_view path)
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

std::FILE* plat_fopen(std::string_view path, const char* mode)
{
    // Reading only: every write goes through plat_write_file.
    if (mode[0] != 'r' || std::strchr(mode, '+')) {
        errno = EINVAL;
        return nullptr;
    }
    std::string resolved;
    if (!plat_path_resolve(path, &resolved)) return nullptr;
    // Opened without waiting, so that a pipe with no writer never holds the caller; only a
    // regular file reads as usual, anything else keeps reads that never wait.
    const int fd = ::open(resolved.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, mode);
    if (!f) ::close(fd);
    return f;
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
    plat_log_line("file: not read \"%s\": %s", std::string(path).c_str(), reason.c_str());
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
    if (!plat_path_resolve(path, &resolved)) {
        // A folder on the way that may not be searched is a refusal, not a missing file.
        struct stat st;
        if (::stat(resolved.c_str(), &st) != 0 && errno != ENOENT && errno != ENOTDIR)
            return refuse(resolved, std::strerror(errno), why);
        return 0;
    }
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

uint64_t plat_folder_listings(void) { return g_index.listings.load(); }
