// The text draw lists: the slots and the records appended to them (layout in textlist.h).
#include "svc/textlist.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "plat/byte_order.h"

namespace {

struct TextList {
    uint32_t index;
    uint32_t active;
    uint32_t capacity;   // bytes
    uint8_t* buffer;     // null while the slot is free
    uint32_t write_pos;  // offset of the end byte
};

std::array<TextList, TEXTLIST_SLOTS> g_lists;

TextList* usable(int32_t slot)
{
    if (slot < 0 || slot >= TEXTLIST_SLOTS) return nullptr;
    TextList& l = g_lists[size_t(slot)];
    return (l.active && l.buffer) ? &l : nullptr;
}

struct TextPlacement {
    uint32_t align, font, size;
    int32_t x, y;
    uint32_t colour;
};

void append_record(TextList& l, const TextPlacement& at, const char* text, uint32_t n)
{
    uint32_t field = (n & ~3u) + 4;
    // The end byte, the margin and the header must fit behind the write position.
    if (uint64_t(l.write_pos) + n + TEXTLIST_HEADER_SIZE >=
        uint64_t(l.capacity) - TEXTLIST_FIT_MARGIN)
        return;
    uint8_t* rec = l.buffer + l.write_pos;
    std::memset(rec, 0, TEXTLIST_HEADER_SIZE);
    rec[0] = TEXTLIST_RECORD_MARK;
    rec[2] = TEXTLIST_HEADER_SIZE;
    plat_le_put32(rec + 4, at.font);
    plat_le_put32(rec + 8, at.colour);
    plat_le_put32(rec + 12, at.align);
    plat_le_put32(rec + 16, at.size);
    plat_le_put32(rec + 20, at.size);
    plat_le_put32(rec + 24, uint32_t(at.x));
    plat_le_put32(rec + 28, uint32_t(at.y));
    plat_le_put32(rec + 32, n);
    plat_le_put32(rec + 36, field);
    std::memset(rec + TEXTLIST_HEADER_SIZE, 0, field);
    std::memcpy(rec + TEXTLIST_HEADER_SIZE, text, n);
    l.write_pos += TEXTLIST_HEADER_SIZE + field;
    l.buffer[l.write_pos] = TEXTLIST_END_MARK;
}

void append_v(int32_t slot, const TextPlacement& at, const char* format, va_list args)
{
    TextList* l = usable(slot);
    if (!l || !format) return;
    char text[TEXTLIST_FORMAT_SIZE];
    int r = std::vsnprintf(text, sizeof text, format, args);
    if (r < 0) return;
    // vsnprintf answers the would-be length; the record holds what was kept.
    uint32_t n = uint32_t(std::strlen(text));
    append_record(*l, at, text, n);
}

constexpr uint32_t TEXTLIST_DEFAULT_COLOUR = 0xFFFFFFFFu;
constexpr uint32_t TEXTLIST_DEFAULT_SIZE = 16;

}  // namespace

void textlist_clear_all()
{
    for (size_t i = 0; i < g_lists.size(); ++i)
        g_lists[i] = TextList{uint32_t(i), 0, 0, nullptr, 0};
}

void textlist_free_all()
{
    for (int32_t i = 0; i < TEXTLIST_SLOTS; ++i) textlist_free(i);
}

int32_t textlist_create(uint32_t capacity)
{
    // Below this even the fit test's "capacity - margin" would wrap.
    if (capacity < TEXTLIST_MIN_CAPACITY) return -1;
    for (size_t i = 0; i < g_lists.size(); ++i) {
        TextList& l = g_lists[i];
        if (l.buffer || l.capacity) continue;
        auto* buf = static_cast<uint8_t*>(std::malloc(capacity));
        if (!buf) return -1;
        l = TextList{uint32_t(i), 1, capacity, buf, 0};
        buf[0] = TEXTLIST_END_MARK;
        return int32_t(i);
    }
    return -1;
}

void textlist_free(int32_t slot)
{
    TextList* l = usable(slot);
    if (!l) return;
    std::free(l->buffer);
    l->buffer = nullptr;
    l->capacity = 0;
    l->active = 0;
    l->write_pos = 0;
}

void textlist_reset(int32_t slot)
{
    TextList* l = usable(slot);
    if (!l) return;
    l->write_pos = 0;
    l->buffer[0] = TEXTLIST_END_MARK;
}

const uint8_t* textlist_get(int32_t slot)
{
    TextList* l = usable(slot);
    return l ? l->buffer : nullptr;
}

void textlist_vprintf(int32_t slot, uint32_t align, uint32_t font, uint32_t size, int32_t x,
                      int32_t y, uint32_t colour, const char* format, va_list args)
{
    append_v(slot, TextPlacement{align, font, size, x, y, colour}, format, args);
}

void textlist_printf(int32_t slot, uint32_t align, uint32_t font, uint32_t size, int32_t x,
                     int32_t y, uint32_t colour, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    append_v(slot, TextPlacement{align, font, size, x, y, colour}, format, args);
    va_end(args);
}

void textlist_printf_plain(int32_t slot, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    append_v(slot, TextPlacement{0, 0, TEXTLIST_DEFAULT_SIZE, 0, 0, TEXTLIST_DEFAULT_COLOUR},
             format, args);
    va_end(args);
}

void textlist_printf_at(int32_t slot, int32_t x, int32_t y, uint32_t colour, const char* format,
                        ...)
{
    va_list args;
    va_start(args, format);
    append_v(slot, TextPlacement{0, 0, TEXTLIST_DEFAULT_SIZE, x, y, colour}, format, args);
    va_end(args);
}

void textlist_printf_font(int32_t slot, uint32_t font, int32_t x, int32_t y, uint32_t colour,
                          const char* format, ...)
{
    va_list args;
    va_start(args, format);
    append_v(slot, TextPlacement{0, font, TEXTLIST_DEFAULT_SIZE, x, y, colour}, format, args);
    va_end(args);
}

void textlist_printf_first(int32_t x, int32_t y, uint32_t colour, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    append_v(0, TextPlacement{0, 0, TEXTLIST_DEFAULT_SIZE, x, y, colour}, format, args);
    va_end(args);
}
