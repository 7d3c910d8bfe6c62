// The services the resource modules take from the rest of the engine, as one
// record of functions set once at boot. res_env_defaults() gives stand-ins
// that run without a window: built-in setting defaults, a manual frame clock,
// plain file reads, a recording fatal-error sink, and a RAM store for
// textures and mesh buffers. The engine's start-up replaces the entries with
// the settings text, the performance timer, the file layer, the fatal error
// screen and the display's texture manager and buffers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the resource manager keeps of a device texture or surface.
struct ResTexInfo {
    uint32_t id;  // the device's object, 0 = none
    uint16_t width, height;
    uint16_t bpp;    // bits per texel
    uint16_t flags;  // RES_TEX_* bits
};

constexpr uint16_t RES_TEX_MIPMAPPED = 1u << 0;
constexpr uint16_t RES_TEX_TARGET = 1u << 1;
constexpr uint16_t RES_TEX_ADDR_U_SHIFT = 3;  // 3 bits: 0 wrap, 1 clamp
constexpr uint16_t RES_TEX_ADDR_V_SHIFT = 6;

struct ResEnv {
    // Settings text: the value of a key, or the caller's default.
    int (*get_int)(const char* key, int def);
    std::string (*get_string)(const char* key, const char* def);
    // The arcade settings store: true with the value when the key is present.
    bool (*arcade_get_int)(const char* key, int* out);
    // The share of the current frame's time used so far, in percent.
    float (*frame_percent)();
    // Whole-file read; false when the file cannot be opened or is refused as
    // a data file (plat_read_data_file). Paths may use '\'.
    bool (*read_file)(const char* path, std::vector<uint8_t>& out);
    bool (*file_exists)(const char* path);
    // Group files are read piece by piece: open answers a handle and the
    // file's size in bytes (null when it cannot be opened or is refused as a
    // data file: then why holds the refusal's reason, whose line the file
    // layer wrote, and stays empty for a missing file), read fills up to n
    // bytes and answers how many it gave (fewer before the end only when the
    // file layer failed and said so), close ends the read.
    void* (*file_open)(const char* path, uint64_t* size, std::string* why);
    size_t (*file_read)(void* file, uint8_t* dst, size_t n);
    void (*file_close)(void* file);
    // The fatal error screen: returns only when the program is closing. line
    // is the error's one line for standard error, written before the screen
    // (empty when the file layer wrote it already, refusing the file).
    void (*fatal)(uint16_t code, uint16_t sub, uint16_t detail, const char* text,
                  const std::string& line);
    // Gives the rest of the time slice away.
    void (*yield)();

    // Textures: format is the texture manager's format index.
    bool (*tex_create)(uint16_t width, uint16_t height, uint32_t format, bool dynamic, bool target,
                       ResTexInfo& out);
    // linear: filter the image (and its mipmaps) linearly when it is scaled.
    bool (*tex_load)(const uint8_t* image, uint32_t size, bool mipmaps, bool linear,
                     ResTexInfo& out);
    // The bytes the texture tex_load would make of the image holds (every
    // level), read from its header without decoding; false when tex_load
    // would refuse that header.
    bool (*tex_load_bytes)(const uint8_t* image, uint32_t size, bool mipmaps, uint64_t* bytes);
    void (*tex_release)(ResTexInfo& t);
    bool (*tex_write)(ResTexInfo& t, int x, int y, int w, int h, const uint32_t* argb);
    // Rows in the texture's own pixel format (size bytes in all).
    bool (*tex_write_raw)(ResTexInfo& t, int x, int y, int w, int h, const uint8_t* src,
                          uint32_t size);
    // 32-bit textures only: 3-byte (blue, green, red) or 4-byte source pixels
    // written opaque.
    bool (*tex_write_rgb)(ResTexInfo& t, int x, int y, int w, int h, const uint8_t* src,
                          int src_bpp);
    bool (*tex_read)(const ResTexInfo& t, int x, int y, int w, int h, uint32_t* argb);
    bool (*depth_create)(uint16_t width, uint16_t height, uint32_t format, ResTexInfo& out);
    // Around a (simulated) device reset: the manager's own surfaces first,
    // then each texture and surface, newest first.
    void (*surfaces_lost)();
    void (*surfaces_reset)();
    void (*tex_lost)(ResTexInfo& t);
    void (*tex_reset)(ResTexInfo& t);

    // Mesh buffers: device vertex and index buffers from bytes; 0 on failure.
    uint32_t (*buffer_create)(const void* bytes, uint32_t size);
    void (*buffer_release)(uint32_t id);

    // out = a x b of row-major 4x4 matrices in the row-vector convention (a
    // applied first); out may alias either input.
    void (*mat_mul)(float out[16], const float a[16], const float b[16]);
};

// The active services; res_env_defaults() until someone sets others.
ResEnv& res_env();
void res_env_set(const ResEnv& e);
ResEnv res_env_defaults();

// ---- test services of the defaults -------------------------------------------------

// The manual clock: what frame_percent answers; each call adds the step.
void res_env_test_set_frame_percent(float percent, float step_per_call);
// The fatal errors reported to the default sink, oldest first.
struct ResFatal {
    uint16_t code, sub, detail;
    std::string text;
    std::string line;
};
std::vector<ResFatal>& res_env_test_fatals();
// Settings for the default get_int / get_string (cleared by passing none).
void res_env_test_set_setting(const char* key, const char* value);
void res_env_test_clear_settings();
// Number of live default textures and buffers (to find leaks in tests).
int res_env_test_live_objects();
