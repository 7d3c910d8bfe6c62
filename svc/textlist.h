// svc/textlist: per-frame text draw lists.
//
// Text queued during a frame is appended as records to a byte buffer and
// drawn by the display at the end of the frame (the fonts read the records).
// Up to 16 lists exist; a list index is the slot index that
// `textlist_create` answers. Indices outside 0..15, and slots that are not
// active, are ignored by every call. Main thread only.
//
// Buffer layout: records one after the other, then one end byte 'E'.
// Record (little-endian):
//   0  u8  'H'        1 u8 0      2 u8 40 (header size)     3 u8 0
//   4  u32 font       8 u32 colour 0xAARRGGBB              12 u32 TextAlign bits
//   16 u32 size      20 u32 size again (character width field)
//   24 i32 x         28 i32 y
//   32 u32 text length without the NUL
//   36 u32 text field size = (length & ~3) + 4
//   40 text, NUL, zero bytes up to the next multiple of 4
#pragma once
#include <cstdint>
#include <cstdarg>

inline constexpr int TEXTLIST_SLOTS = 16;
inline constexpr int TEXTLIST_HEADER_SIZE = 40;
inline constexpr int TEXTLIST_FORMAT_SIZE = 2048;  // longer texts are cut to 2047 bytes
inline constexpr uint32_t TEXTLIST_FIT_MARGIN = 8;
// Smallest capacity that holds one empty record and the end byte with the margin.
inline constexpr uint32_t TEXTLIST_MIN_CAPACITY =
    TEXTLIST_HEADER_SIZE + 4 + 1 + TEXTLIST_FIT_MARGIN;

// TextAlign bits (applied by the font drawing).
inline constexpr uint32_t TEXTLIST_ALIGN_RIGHT = 1u << 0;
inline constexpr uint32_t TEXTLIST_ALIGN_CENTRE_X = 1u << 1;
inline constexpr uint32_t TEXTLIST_ALIGN_BOTTOM = 1u << 2;
inline constexpr uint32_t TEXTLIST_ALIGN_CENTRE_Y = 1u << 3;

inline constexpr uint8_t TEXTLIST_RECORD_MARK = 'H';
inline constexpr uint8_t TEXTLIST_END_MARK = 'E';

void textlist_clear_all();
void textlist_free_all();

// Slot index, or -1 when no slot is free, the allocation fails or the
// capacity is below TEXTLIST_MIN_CAPACITY.
int32_t textlist_create(uint32_t capacity);
void textlist_free(int32_t slot);
void textlist_reset(int32_t slot);
// Buffer start of an active slot, else null.
const uint8_t* textlist_get(int32_t slot);

void textlist_printf(int32_t slot, uint32_t align, uint32_t font, uint32_t size, int32_t x,
                     int32_t y, uint32_t colour, const char* format, ...)
    __attribute__((format(printf, 8, 9)));
void textlist_vprintf(int32_t slot, uint32_t align, uint32_t font, uint32_t size, int32_t x,
                      int32_t y, uint32_t colour, const char* format, va_list args);
void textlist_printf_plain(int32_t slot, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void textlist_printf_at(int32_t slot, int32_t x, int32_t y, uint32_t colour, const char* format,
                        ...) __attribute__((format(printf, 5, 6)));
void textlist_printf_font(int32_t slot, uint32_t font, int32_t x, int32_t y, uint32_t colour,
                          const char* format, ...) __attribute__((format(printf, 6, 7)));
void textlist_printf_first(int32_t x, int32_t y, uint32_t colour, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
