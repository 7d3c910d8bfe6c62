// The name hash and the name and path helpers (see name.h).
#include "res/name.h"

#include <cstring>

namespace {

inline NameHash hash_byte(NameHash h, unsigned c)
{
    for (int i = 0; i < 6; i++) {
        uint32_t top = h >> 31;
        h = (h << 1) | ((c >> i) & 1u);
        if (top) h ^= 0x04C11DB7u;
    }
    return h;
}

inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Copies n bytes of src and a NUL into out when they fit; else out = "".
int put(std::span<char> out, const char* src, size_t n)
{
    if (out.empty()) return 0;
    if (n >= out.size()) {
        out[0] = 0;
        return 0;
    }
    if (n) std::memmove(out.data(), src, n);
    out[n] = 0;
    return 1;
}

bool is_sep(char c) { return c == '\\' || c == '/'; }

// The file-name part of a path: behind the last separator.
const char* file_part(const char* path)
{
    const char* f = path;
    for (const char* p = path; *p; p++)
        if (is_sep(*p)) f = p + 1;
    return f;
}

constexpr const char* NAME_TOKENS[2] = {"NRM", "SPC"};

// Length of the token at p when it stands as a whole part (then the end or '_').
size_t token_at(const char* p, const char* token)
{
    size_t n = std::strlen(token);
    if (std::strncmp(p, token, n) != 0) return 0;
    return (p[n] == 0 || p[n] == '_') ? n : 0;
}

}  // namespace

NameHash name_hash(const char* s)
{
    NameHash h = 0;
    if (s)
        for (; *s; s++) h = hash_byte(h, uint8_t(*s));
    return h;
}

NameHash name_hash_sv(std::string_view s)
{
    NameHash h = 0;
    for (char c : s) h = hash_byte(h, uint8_t(c));
    return h;
}

NameHash name_hash_lower(const char* s)
{
    NameHash h = 0;
    if (s)
        for (; *s; s++) h = hash_byte(h, uint8_t(lower(*s)));
    return h;
}

int name_icmp(const char* a, const char* b)
{
    if (!a) a = "";
    if (!b) b = "";
    for (;; a++, b++) {
        if (lower(*a) != lower(*b)) return int(uint8_t(*a)) - int(uint8_t(*b));
        if (!*a) return 0;
    }
}

int name_lower_copy(std::span<char> out, const char* s)
{
    if (!s) s = "";
    size_t n = std::strlen(s);
    if (!put(out, s, n)) return 0;
    for (size_t i = 0; i < n; i++) out[i] = lower(out[i]);
    return 1;
}

int name_dir_part(std::span<char> out, const char* path)
{
    if (!path || !*path) return put(out, "", 0);
    const char* f = file_part(path);
    return put(out, path, f == path ? 0 : size_t(f - 1 - path));
}

int name_file_stem(std::span<char> out, const char* path)
{
    if (!path) return put(out, "", 0);
    const char* f = file_part(path);
    const char* dot = std::strchr(f, '.');
    return put(out, f, dot ? size_t(dot - f) : std::strlen(f));
}

int name_file_with_ext(std::span<char> out, const char* path)
{
    if (!path) return put(out, "", 0);
    const char* f = file_part(path);
    return put(out, f, std::strlen(f));
}

bool name_has_token(const char* name, const char* token)
{
    if (!name || !token || !*token) return false;
    for (const char* p = std::strchr(name, '_'); p; p = std::strchr(p + 1, '_'))
        if (token_at(p + 1, token)) return true;
    return false;
}

int name_replace_suffix(std::span<char> out, const char* name, const char* suffix)
{
    if (!name) return put(out, "", 0);
    if (!suffix) suffix = "";
    const char* us = std::strchr(name, '_');
    size_t head = us ? size_t(us - name) : std::strlen(name);
    size_t tail = std::strlen(suffix);
    if (head + 1 + tail >= out.size()) return put(out, "", out.size());
    std::memmove(out.data(), name, head);
    out[head] = '_';
    std::memcpy(out.data() + head + 1, suffix, tail + 1);
    return 1;
}

int name_join(std::span<char> out, const char* a, const char* b)
{
    if (!a) return put(out, "", 0);
    if (!b) b = "";
    size_t na = std::strlen(a), nb = std::strlen(b);
    if (na + 1 + nb >= out.size() || (a >= out.data() && a < out.data() + out.size()) ||
        (b >= out.data() && b < out.data() + out.size()))
        return put(out, "", out.size());
    std::memcpy(out.data(), a, na);
    out[na] = '_';
    std::memcpy(out.data() + na + 1, b, nb + 1);
    return 1;
}

int name_strip_variant(std::span<char> out, const char* name)
{
    if (!name) return put(out, "", 0) ? 0 : -1;
    // The result is never longer than the name, so one forward pass can write
    // into the name's own buffer: the write position never passes the read one.
    size_t n = std::strlen(name);
    char* w = out.data();
    size_t wn = 0;
    int flags = 0;
    for (size_t r = 0; r < n;) {
        // At an underscore each token is tried once, in table order, so that
        // "a_NRM_SPC" loses both tokens while "a_SPC_NRM" keeps "_NRM".
        for (int t = 0; t < 2; t++) {
            size_t len = name[r] == '_' ? token_at(name + r + 1, NAME_TOKENS[t]) : 0;
            if (len) {
                flags |= 1 << t;
                r += 1 + len;
            }
        }
        if (r >= n) break;
        if (wn + 1 >= out.size()) return put(out, "", out.size()) - 1;
        w[wn++] = name[r++];
    }
    if (out.empty()) return -1;
    w[wn] = 0;
    return flags;
}

const char* name_contains(const char* text, const char* part)
{
    if (!text || !part) return nullptr;
    return std::strstr(text, part);
}
