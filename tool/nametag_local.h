// tool/nametag_local: a module of the patch tool's own (other folders see tool/tool.h).
// Name tags: options carried in model and mesh names as an underscore, one
// letter and the characters up to the next underscore or the end ("box_p3_a1"
// has the tags p = 3 and a = 1). The patch tool turns a mesh's tags into draw
// settings. Pure functions; any thread.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int NAMETAG_PRIO_MIN = 0;
constexpr int NAMETAG_PRIO_MAX = 93;  // the draw-object priorities

// Finds the tag of that letter and parses its characters; 1 with the value,
// 0 when the name holds no such tag (or only the letter).
int nametag_find_number(uint32_t* out, const char* name, char letter);
// Parses up to the next '_' or the end: digits accumulate, any other
// character resets the value to 0. 1 when at least one character was read.
int nametag_parse_number(uint32_t* out, const char* text);
// The tag's number, or the default when the tag is absent or empty.
uint32_t nametag_get_number_or(const char* name, char letter, uint32_t def);
// Copies the tag's characters (at most capacity - 1, NUL-terminated); 1 when
// the tag exists.
int nametag_get_text(const char* name, char letter, char* out, size_t capacity);
// The tag's text, else the default when it fits the capacity; 0 when neither.
int nametag_get_text_or(const char* name, char letter, char* out, size_t capacity, const char* def);

// What a mesh name asks of the object drawing it.
struct NameOptions {
    int priority;        // final priority, always inside 0..93
    uint32_t alpha_ref;  // alpha-reference index, 0 = keep
    int zwrite_off;      // 1: no depth writes
    int zfunc_always;    // 1: depth function index 7 (always passes)
};

// The tags of a name applied in order: _a (priority := the default), _t
// (alpha reference), _z (no depth write), _p (+n), _P (-n), _A (depth
// function 7). `priority` is the object's priority before. The sum is formed
// in a wide signed integer; a result outside 0..93 keeps the priority it had
// before that step, since no draw list exists for it.
NameOptions nametag_options(const char* name, int default_priority, int priority);
