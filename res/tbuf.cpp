// The growable text buffer and the two-slot lock table (see tbuf.h).
#include "res/tbuf.h"

#include "plat/files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

namespace {

uint32_t text_length(const char* t, uint32_t cap)
{
    uint32_t n = 0;
    while (n < cap && t[n] != 0 && t[n] != 0x1A) n++;
    return n;
}

// Grows the block in steps until more than n bytes are free behind `from`.
bool make_room(TextBuf* b, uint32_t from, uint32_t n)
{
    uint64_t cap = b->capacity;
    while (cap - from <= n) cap += TBUF_STEP;
    if (cap == b->capacity) return true;
    if (cap > 0xFFFFFFFFull - TBUF_STEP) return false;
    char* t = static_cast<char*>(std::realloc(b->text, size_t(cap)));
    if (!t) return false;
    std::memset(t + b->capacity, 0, size_t(cap - b->capacity));
    b->text = t;
    b->capacity = uint32_t(cap);
    return true;
}

int insert_text(TextBuf* b, const char* s, uint32_t m)
{
    uint32_t len = text_length(b->text, b->capacity);
    uint32_t at = b->cursor < len ? b->cursor : len;
    uint64_t cap = (uint64_t(len) + m) / TBUF_STEP * TBUF_STEP + TBUF_STEP;
    if (cap > 0xFFFFFFFFull) return 0;
    char* t = static_cast<char*>(std::calloc(size_t(cap), 1));
    if (!t) return 0;
    std::memcpy(t, b->text, at);
    std::memcpy(t + at, s, m);
    std::memcpy(t + at + m, b->text + at, len - at);
    std::free(b->text);
    b->text = t;
    b->capacity = uint32_t(cap);
    b->cursor = at + m;
    return 1;
}

// vsnprintf into a piece of at most TBUF_FMT_MAX characters; answers its length.
uint32_t format_piece(char (&piece)[TBUF_FMT_MAX + 1], const char* fmt, va_list ap)
{
    int n = std::vsnprintf(piece, sizeof piece, fmt, ap);
    if (n < 0) {
        piece[0] = 0;
        return 0;
    }
    return n > TBUF_FMT_MAX ? TBUF_FMT_MAX : uint32_t(n);
}

// Formats a piece, then inserts it at the cursor or writes over what stands
// there; 0 or -1 as the public calls answer.
int put_formatted(TextBuf* b, bool insert, const char* fmt, va_list ap)
{
    char piece[TBUF_FMT_MAX + 1];
    uint32_t n = format_piece(piece, fmt, ap);
    if (insert) return insert_text(b, piece, n) ? 0 : -1;
    if (!make_room(b, b->cursor, n)) return -1;
    std::memcpy(b->text + b->cursor, piece, n);
    b->text[b->cursor + n] = 0;
    b->cursor += n;
    return 0;
}

}  // namespace

TextBuf* tbuf_create()
{
    TextBuf* b = new (std::nothrow) TextBuf{};
    if (!b) return nullptr;
    b->text = static_cast<char*>(std::calloc(TBUF_STEP, 1));
    if (!b->text) {
        delete b;
        return nullptr;
    }
    b->capacity = TBUF_STEP;
    return b;
}

void tbuf_free(TextBuf* b)
{
    if (!b) return;
    std::free(b->text);
    delete b;
}

int tbuf_append(const char* s, TextBuf* b)
{
    if (!b || !s) return -1;
    uint32_t n = uint32_t(std::strlen(s));
    // Room is measured from the text's end, where the string goes.
    uint32_t len = text_length(b->text, b->capacity);
    if (!make_room(b, len, n)) return -1;
    std::memcpy(b->text + len, s, n + 1);
    b->cursor += n;
    if (b->cursor > len + n) b->cursor = len + n;
    return 0;
}

int tbuf_write_fmt(TextBuf* b, const char* fmt, ...)
{
    if (!b || !fmt) return -1;
    va_list ap;
    va_start(ap, fmt);
    int r = put_formatted(b, false, fmt, ap);
    va_end(ap);
    return r;
}

int tbuf_insert_buf(TextBuf* b, const TextBuf* other)
{
    if (!b || !other) return 0;
    return insert_text(b, other->text, text_length(other->text, other->capacity));
}

int tbuf_insert_fmt(TextBuf* b, const char* fmt, ...)
{
    if (!b || !fmt) return -1;
    va_list ap;
    va_start(ap, fmt);
    int r = put_formatted(b, true, fmt, ap);
    va_end(ap);
    return r;
}

bool tbuf_seek(TextBuf* b, int32_t offset, int origin)
{
    if (!b) return false;
    int64_t len = text_length(b->text, b->capacity);
    int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(b->cursor) : len - 1;
    int64_t pos = base + offset;
    if (len == 0) {
        b->cursor = 0;
        return pos != 0;
    }
    bool wrapped = pos < 0 || pos > len - 1;
    pos %= len;
    if (pos < 0) pos += len;
    b->cursor = uint32_t(pos);
    return wrapped;
}

uint32_t tbuf_tell(const TextBuf* b) { return b ? b->cursor : 0; }
const char* tbuf_text(const TextBuf* b) { return b ? b->text : nullptr; }
uint32_t tbuf_length(const TextBuf* b) { return b ? text_length(b->text, b->capacity) : 0; }

char* tbuf_read_line(char* out, uint32_t max, TextBuf* b)
{
    if (!out || !b || b->cursor >= b->capacity) return nullptr;
    char c = b->text[b->cursor];
    if (c == 0 || c == 0x1A) return nullptr;
    uint32_t n = 0;
    while (n < max && b->cursor < b->capacity) {
        c = b->text[b->cursor];
        if (c == 0 || c == 0x1A) break;
        b->cursor++;
        if (c == '\r' || c == '\n') {
            out[n++] = '\n';
            break;
        }
        out[n++] = c;
    }
    out[n] = 0;
    return out;
}

void tbuf_save(const TextBuf* b, const char* name_fmt, ...)
{
    if (!b || !name_fmt) return;
    char name[TBUF_FMT_MAX + 1];
    va_list ap;
    va_start(ap, name_fmt);
    format_piece(name, name_fmt, ap);
    va_end(ap);
    const auto* text = reinterpret_cast<const uint8_t*>(b->text);
    plat_write_file(name, {text, text_length(b->text, b->capacity)}, nullptr);
}

// ---- two-slot table -------------------------------------------------------------

void slot_lock_init(SlotLock* t)
{
    t->seq = 0;
    t->slot[0] = {0, 0};
    t->slot[1] = {0, 0};
    t->live = 1;
}

void slot_lock_term(SlotLock* t)
{
    if (t->live) t->live = 0;
}

int slot_lock_acquire(SlotLock* t, int mode, int slot)
{
    if (!t->live) return 0;
    if (mode == SLOT_WRITER) {
        if (slot != 0 && slot != 1) return slot;
        for (;;) {
            {
                std::lock_guard<std::mutex> g(t->cs);
                bool claimed = !t->slot[slot].busy;
                if (claimed) t->slot[slot].busy = 1;
                t->seq++;
                t->slot[slot].seq = t->seq;
                if (claimed) return slot;
            }
            std::this_thread::yield();
        }
    }
    if (mode == SLOT_READER) {
        std::lock_guard<std::mutex> g(t->cs);
        uint8_t s0 = t->slot[0].seq, s1 = t->slot[1].seq;
        int pick;
        if (t->slot[0].busy)
            pick = 1;
        else if (t->slot[1].busy)
            pick = 0;
        else if (s0 == 255 && s1 == 0)
            pick = 1;
        else
            pick = s0 >= s1 ? 0 : 1;
        t->slot[pick].busy = 1;
        return pick;
    }
    return slot;
}

void slot_lock_release(SlotLock* t, int mode, int slot)
{
    if (!t->live || (mode != SLOT_WRITER && mode != SLOT_READER) || (slot != 0 && slot != 1))
        return;
    std::lock_guard<std::mutex> g(t->cs);
    t->slot[slot].busy = 0;
}
