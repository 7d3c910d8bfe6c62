// Name tags in model and mesh names: finding a tag, reading its number or text, and the draw
// settings made of them (see nametag_local.h).
#include "tool/nametag_local.h"

#include <cstring>

namespace {

// The characters of a tag: from `text` up to the next '_' or the end.
size_t tag_length(const char* text)
{
    size_t n = 0;
    while (text[n] != '\0' && text[n] != '_') ++n;
    return n;
}

// Start of the characters after "_<letter>", or null.
const char* find_tag(const char* name, char letter)
{
    if (!name) return nullptr;
    const char* p = name;
    for (;;) {
        p = std::strchr(p, '_');
        if (!p) return nullptr;
        if (p[1] == letter) return p + 2;
        // Go on after the '_' and its next character, never past the end.
        p += p[1] == '\0' ? 1 : 2;
    }
}

int clamp_step(int64_t wanted, int previous)
{
    return wanted >= NAMETAG_PRIO_MIN && wanted <= NAMETAG_PRIO_MAX ? static_cast<int>(wanted)
                                                                    : previous;
}

}  // namespace

int nametag_parse_number(uint32_t* out, const char* text)
{
    uint32_t value = 0;
    size_t read = 0;
    if (text) {
        for (; text[read] != '\0' && text[read] != '_'; ++read) {
            const char c = text[read];
            value = c >= '0' && c <= '9' ? value * 10u + static_cast<uint32_t>(c - '0') : 0u;
        }
    }
    if (out) *out = value;
    return read > 0 ? 1 : 0;
}

int nametag_find_number(uint32_t* out, const char* name, char letter)
{
    const char* text = find_tag(name, letter);
    if (!text) return 0;
    return nametag_parse_number(out, text);
}

uint32_t nametag_get_number_or(const char* name, char letter, uint32_t def)
{
    uint32_t v = 0;
    return nametag_find_number(&v, name, letter) ? v : def;
}

int nametag_get_text(const char* name, char letter, char* out, size_t capacity)
{
    const char* text = find_tag(name, letter);
    if (!text || !out || capacity == 0) return 0;
    size_t n = tag_length(text);
    if (n > capacity - 1) n = capacity - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
    return 1;
}

int nametag_get_text_or(const char* name, char letter, char* out, size_t capacity, const char* def)
{
    if (nametag_get_text(name, letter, out, capacity)) return 1;
    if (!def || !out || std::strlen(def) >= capacity) return 0;
    std::memcpy(out, def, std::strlen(def) + 1);
    return 1;
}

NameOptions nametag_options(const char* name, int default_priority, int priority)
{
    NameOptions o{priority, 0, 0, 0};
    if (nametag_get_number_or(name, 'a', 0) != 0)
        o.priority = clamp_step(default_priority, o.priority);
    o.alpha_ref = nametag_get_number_or(name, 't', 0);
    o.zwrite_off = nametag_get_number_or(name, 'z', 0) != 0;
    o.priority = clamp_step(int64_t(o.priority) + nametag_get_number_or(name, 'p', 0), o.priority);
    o.priority = clamp_step(int64_t(o.priority) - nametag_get_number_or(name, 'P', 0), o.priority);
    o.zfunc_always = nametag_get_number_or(name, 'A', 0) != 0;
    return o;
}
