// The resource loader: a ring of 64 load requests (model group files and
// tex.lst categories, by name) worked off by a step machine that reads one
// chunk per step, pumped each frame within a share of the frame's time. It
// also owns the data folders: three model folders searched in an order chosen
// by the language setting, and the texture folder with its "tex.lst".
// Main thread only; the time budget replaces any loader thread.
#pragma once

#include "res/res.h"

#include <cstdint>
#include <vector>

constexpr uint32_t RESLOAD_RING = 64;
constexpr uint32_t RESLOAD_NAME_MAX = 63;
constexpr uint32_t RESLOAD_FOLDER_MAX = 255;

// What a step answers, and the loader's status word: idle (nothing to
// load), busy (the step machine goes on), a fatal error reported, a group
// file not opened, a chunk magic not recognised.
enum ResLoadResult : int {
    RESLOAD_IDLE = 0,
    RESLOAD_CONTINUE = 1,  // as a status: busy
    RESLOAD_FATAL = 2,
    RESLOAD_OPEN_FAILED = 3,
    RESLOAD_BAD_MAGIC = 4,
};

// Fatal error numbers (the detail of error code 1, "FILE READ ERROR").
enum ResLoadError : uint16_t {
    RESLOAD_ERR_KIND = 0,
    RESLOAD_ERR_OPEN = 1,
    RESLOAD_ERR_HEADER = 2,
    RESLOAD_ERR_DATA = 3,
    RESLOAD_ERR_MAGIC = 22,
    RESLOAD_ERR_CATEGORY = 23,
    RESLOAD_ERR_STEP = 24,
};
constexpr uint16_t RESLOAD_FATAL_CODE = 1;

enum ResLoadKind : uint32_t { RESLOAD_KIND_GROUP = 0, RESLOAD_KIND_CATEGORY = 1 };

void resload_boot();
void resload_shutdown();
// Empties the queue and drops the file being read (every release to a mark).
void resload_abort();

// False for null, a name of 64 characters or more, or a full ring; a name
// already pending answers true without a new slot.
bool resload_request(const char* name, uint32_t flags);
bool resload_request_list(const char* const* names, uint32_t count, uint32_t flags);
int resload_step();

// The chunk readers: each turns one chunk's data (checked here) into what its
// kind's registrar stores, under the group name; false is the kind's
// registration error. Names inside the data are stripped in place.
bool resload_read_model(const char* group, MutByteSpan d, uint32_t flags);
bool resload_read_bone(const char* group, MutByteSpan d, uint32_t flags);
bool resload_read_anime(const char* group, MutByteSpan d, uint32_t flags);
bool resload_read_coll(const char* group, MutByteSpan d, uint32_t flags);
bool resload_read_tex(const char* group, MutByteSpan d, uint32_t flags);
bool resload_read_crop(const char* group, MutByteSpan d, uint32_t flags);
bool resload_read_shit(const char* group, MutByteSpan d, uint32_t flags);
bool resload_read_camera(const char* group, MutByteSpan d, uint32_t flags);
bool resload_read_flash(const char* group, MutByteSpan d, uint32_t flags);
// Runs one step, then more while they continue and the frame's used share is
// below limit percent.
int resload_pump(float limit);
float resload_progress();
int resload_file_exists(const char* name);
// Reads "<folder><name>.bin" from the first folder of the search order that
// has it; false when none does.
bool resload_open_bin(const char* name, std::vector<uint8_t>& bytes);
bool resload_group_loaded(const char* name);

// ---- accessors ---------------------------------------------------------------------

const char* resload_model_folder(int i);
const char* resload_tex_folder();
void resload_set_model_folder(int i, const char* folder);  // null sets ".\"
void resload_set_tex_folder(const char* folder);
void resload_set_language(int index);
int resload_language();
int resload_get_status();
uint32_t resload_pending();
