// Growable text buffer (the shader source reader assembles shader text in it:
// appends, include insertion at a cursor, seeks, saving) and a two-slot table
// guarded by a lock. Main thread only, except the slot table, which any
// thread may call.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <mutex>

constexpr uint32_t TBUF_STEP = 0x10000;  // capacities are multiples of this
constexpr int TBUF_FMT_MAX = 1024;       // formatted pieces are cut to this

// The text ends at the first NUL or 0x1A; the block is zero-filled behind it.
struct TextBuf {
    uint32_t capacity;  // bytes
    char* text;
    uint32_t cursor;  // offset into text
};

TextBuf* tbuf_create();
void tbuf_free(TextBuf* b);
// Appends at the end of the text; the cursor advances by the string's length.
int tbuf_append(const char* s, TextBuf* b);
// Writes at the cursor and ends the text there; the cursor moves behind it.
int tbuf_write_fmt(TextBuf* b, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Inserts the other buffer's text at the cursor; the cursor moves behind it.
int tbuf_insert_buf(TextBuf* b, const TextBuf* other);
int tbuf_insert_fmt(TextBuf* b, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Origin 0 start, 1 cursor, 2 last character; the position wraps into the
// text; true when it had to wrap.
bool tbuf_seek(TextBuf* b, int32_t offset, int origin);
uint32_t tbuf_tell(const TextBuf* b);
const char* tbuf_text(const TextBuf* b);
uint32_t tbuf_length(const TextBuf* b);
// One line of at most max characters (out holds max + 1); null at the end.
char* tbuf_read_line(char* out, uint32_t max, TextBuf* b);
// Writes the text to the formatted file name; nothing when it cannot open.
void tbuf_save(const TextBuf* b, const char* name_fmt, ...) __attribute__((format(printf, 2, 3)));

// ---- two-slot table -------------------------------------------------------------

struct SlotLock {
    uint8_t live;
    uint8_t seq;
    struct {
        uint8_t busy;
        uint8_t seq;
    } slot[2];
    std::mutex cs;
};

constexpr int SLOT_WRITER = 0;
constexpr int SLOT_READER = 1;

void slot_lock_init(SlotLock* t);
void slot_lock_term(SlotLock* t);
// Writer: waits for the given slot and claims it. Reader: claims the newest
// slot nobody holds. Other modes, and slots other than 0 and 1 for a writer,
// return the slot argument unchanged; 0 when the table is not live.
int slot_lock_acquire(SlotLock* t, int mode, int slot);
void slot_lock_release(SlotLock* t, int mode, int slot);
