#include "plat/files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool equal_nocase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The entry of folder whose name equals name without regard to case, in
// listing order so that the choice is the same on every machine.
bool find_nocase(const std::string& folder, std::string_view name, std::string* found)
{
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return false;
    bool any = false;
    while (const dirent* e = ::readdir(d)) {
        const std::string_view n(e->d_name);
        if (!equal_nocase(n, name)) continue;
        if (!any || plat_name_less(n, *found)) *found = std::string(n);
        any = true;
    }
    ::closedir(d);
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

std::FILE* plat_fopen(std::string_view path, const char* mode)
{
    std::string resolved;
    if (plat_path_resolve(path, &resolved)) return std::fopen(resolved.c_str(), mode);
    if (mode[0] == 'r') return nullptr;
    // A new file: resolve its folder, keep the name as given.
    const size_t slash = resolved.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        std::string folder;
        if (plat_path_resolve(resolved.substr(0, slash), &folder))
            resolved = folder + resolved.substr(slash);
    }
    return std::fopen(resolved.c_str(), mode);
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
    const std::string native = plat_path_native(path);
    struct stat st;
    return !native.empty() && ::lstat(native.c_str(), &st) == 0;
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
