// svc/txt_settings: the start-up settings text "QUORVEL.TXT".
//
// A small file of whitespace-separated key and value pairs read once at
// start-up (main thread) into a fixed table; afterwards only read, so lookups
// need no lock. Every reader asks for its own key by exact, case-sensitive
// name and falls back to its own default when the key is absent.
//
// File syntax: key value key value ...; a '#' token in key position starts a
// comment to the end of the line (a '#' in value position is a plain value).
// CR, LF, tab and space separate tokens; byte 26 (Ctrl-Z) ends the file.
// Limits: 64 pairs; keys and values at most 126 characters. A longer key or
// value, or any token of 1024 characters or more, ends the reading quietly
// and keeps what was read before; a last key without a value is dropped; a
// key given twice keeps its first value.
//
// Keys the program reads (kind, default):
//   "REGION"                    string; first letter E/U/J/A picks region 0..3; 0
//   "RENDER_WIDTH3D"            int; screen width
//   "RENDER_HEIGHT3D"           int; screen height
//   "RENDER_WIDTH"              int; screen width
//   "RENDER_HEIGHT"             int; screen height
//   "RENDER_FLAG"               int; 0
//   "MESSAGEBOX"                int; 0
//   "FULLSCREEN"                int; 0
//   "FORCE_LOCK_BACKBUFFER"     int; 0
//   "NR_ANTIALIAS_SAMPLES"      int; 0, held within 0..4
//   "ENABLE_VSYNC"              int; 1
//   "FONT_DATA_PATH"            string; ".\data\font\"
//   "MOVIE_DATA_PATH"           string; ".\data\movie\"
//   "SHADER_PATH"               string; ".\data\sh\"
//   "OUTPUT_SHADER_SOURCE_TEXT" int; 0
//   "OUTPUT_SHADER_INFO"        int; 0
//   "OUTPUT_SHADER_ASM_TEXT"    int; 0
//   "TEX_DATA_PATH"             string; ".\data\texture\"
//   "MODEL_DATA_PATH"           string; ".\data\grp\"
//   "MODEL_DATA_PATHE"          string; ".\data\grpe\"
//   "MODEL_DATA_PATHC"          string; ".\data\grpc\"
//   "SOUND_DATA_PATH"           string; "data\sound\" ("data\soundj\" for the language folder)
//   "SOUND_FILE_EXT"            string; "wav"
//   "SOUND_DATA_VOL"            int, percent; built-in volume kept
//   "SOUND_BGM_VOL"             int, percent; built-in volume kept
//   "PERFORMANCE_LOG"           int; only its presence is tested
// Resource pool sizes (int; default):
//   "MAX_NR_CAT" 100              "SZ_BUFF_CATNAME" 2000
//   "MAX_NR_TEX" 1000             "SZ_BUFF_TEXNAME" 10240
//   "MAX_NR_TEX_CROP" 2000        "SZ_BUFF_TEX_CROPNAME" 20480
//   "MAX_NR_DEPTH_STENCIL" 1      "SZ_BUFF_DEPTH_STENCILNAME" 1
//   "MAX_NR_MESH" 1000            "MAX_NR_MESH_SUBSET" 1000
//   "MAX_NR_MESH_BONE" 10         "SZ_BUFF_MESHNAME" 10240
//   "SZ_BUFF_MESH_SUBSET_TEXNAME" 10240   "SZ_BUFF_MESH_BONENAME" 64
//   "MAX_NR_BONE" 1000            "SZ_BUFF_BONE" 65536
//   "SZ_BUFF_BONENAME" 1000       "MAX_NR_ANIME" 1
//   "SZ_BUFF_ANIME" 1             "SZ_BUFF_ANIMENAME" 1
//   "MAX_NR_COLLISION" 40         "SZ_BUFF_COLLISION" 262144
//   "SZ_BUFF_COLLISIONNAME" 512   "MAX_NR_SPHERE_HIT" 1
//   "SZ_BUFF_SPHERE_HIT" 1        "SZ_BUFF_SPHERE_HITNAME" 1
//   "MAX_NR_CAMERA_INFO" 1        "SZ_BUFF_CAMERA_INFO" 1
//   "SZ_BUFF_CAMERA_INFONAME" 1   "MAX_NR_FLASH" 1
//   "SZ_BUFF_FLASH" 1             "SZ_BUFF_FLASHNAME" 1
//   "MAX_NR_MESHLIST" 10
//   "SZ_BUFF_TEX_PIXEL" 268435456 (bytes that textures loaded from images hold at once)
#pragma once
#include <cstdint>

inline constexpr int TXT_SETTINGS_MAX_ENTRIES = 64;
inline constexpr int TXT_SETTINGS_FIELD_SIZE = 128;  // key and value, with the NUL
inline constexpr int TXT_SETTINGS_MAX_TOKEN = 1024;  // a token this long ends the reading

// Empties the table, then reads the file; a missing file, or one refused as a
// data file (a folder, a pipe, a device, over the ceiling), leaves it empty:
// every key then has its default.
void txt_settings_load(const char* file_name);
void txt_settings_term();

// Value of the first entry whose key equals `key` exactly, or null.
const char* txt_settings_get_string(const char* key);
// Writes 0 to *out first; 1 and the parsed value when found, else 0.
int txt_settings_get_int(const char* key, int32_t* out);
int32_t txt_settings_get_int_or(const char* key, int32_t fallback);
