// Texture manager and sampler-stage cache.
//
// Main thread. Wraps the device's textures and surfaces in small fixed
// records, creates them (empty, as render targets, from image files in memory
// or on disk), fills and reads their pixels, binds them to sampler stages
// through a per-stage cache, sets the render targets, and rebuilds the records
// that do not survive a device reset. It also owns the shared quad index list
// and the two vertex scratch areas (tex_scratch.h).
//
// Every stage change goes through tex_set_stage; stage 0 without a texture
// samples the white texture, so untextured draws modulate to their vertex
// colours. Without a device every call fails cleanly (false, 0 or null).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "plat/gfx.h"
#include "plat/gfx_tex.h"

// --- capacities ----------------------------------------------------------------
constexpr int TEX_STAGES = 8;
constexpr int TEX_MAX_SIDE = 16384;  // largest side taken by tex_create

// --- value types -------------------------------------------------------------------

// TexRecord flags.
constexpr uint16_t TEX_FLAG_MIP = 1u << 0;  // the mip filter follows the filter
constexpr uint16_t TEX_FLAG_RENDER_TARGET = 1u << 1;
constexpr uint16_t TEX_FLAG_MANAGED = 1u << 2;  // survives a device reset
constexpr int TEX_ADDR_U_SHIFT = 3, TEX_ADDR_V_SHIFT = 6, TEX_ADDR_BITS = 3;
enum : int { TEX_ADDR_WRAP = 0, TEX_ADDR_CLAMP = 1 };  // 2..7 behave as wrap

// A texture as every drawing module binds it (owned by whoever holds it).
struct TexRecord {
    GfxTexture* texture;      // null when empty
    GfxSurface* surface;      // level 0, kept only for render targets
    uint16_t real_w, real_h;  // level 0 as created
    uint16_t req_w, req_h;    // asked for, or the image file's own size
    uint8_t bpp;              // bits per pixel (disp_fmt_bpp)
    uint8_t fmt_index;        // surface-format index
    uint16_t flags;           // TEX_FLAG_*, address indices in bits 3-5 and 6-8
};

// A surface: the back buffer, a depth-stencil surface, or a colour target.
struct SurfRecord {
    GfxSurface* surface;
    uint16_t width, height;
    GfxFormat format;
    uint8_t bpp;
    uint8_t kind;  // DISP_SURF_KIND_* bits
};

// --- start and stop ----------------------------------------------------------------
// Called by d3d9_boot / d3d9_shutdown.
void tex_boot();
void tex_shutdown();
// Release / read again the back-buffer and depth records around a reset.
void tex_surfaces_on_lost();
void tex_surfaces_on_reset();
// Every stage cache entry := unset; stage 0 gets the white texture again.
void tex_stage_cache_reset();

// --- records -----------------------------------------------------------------------
int tex_create(TexRecord* rec, GfxFormat fmt, int width, int height, int managed);
int tex_create_render_target(TexRecord* rec, GfxFormat fmt, int width, int height);
int tex_create_from_file_mem(TexRecord* rec, std::span<const uint8_t> data, int mipmaps,
                             int linear);
int tex_create_from_file(TexRecord* rec, const std::string& path, int mipmaps, int linear);
// The bytes tex_create_from_file_mem would make the texture hold (every
// level), read from the image's header; 0 when it would refuse that header.
int tex_file_mem_bytes(std::span<const uint8_t> data, int mipmaps, uint64_t* bytes);
void tex_release(TexRecord* rec);
void tex_on_lost(TexRecord* rec);
void tex_on_reset(TexRecord* rec);

// Rectangles must lie inside the real size; buffers hold w * h pixels packed.
int tex_fill_rect(TexRecord* rec, int x, int y, int w, int h, std::span<const uint8_t> src);
int tex_copy_rect_out(TexRecord* rec, int x, int y, int w, int h, std::span<uint8_t> dst);
int tex_read_rect_argb(TexRecord* rec, int x, int y, int w, int h, std::span<uint32_t> dst);
// One pixel as 0xAARRGGBB, x and y clamped into the texture; 0 when empty.
uint32_t tex_read_pixel(TexRecord* rec, int x, int y);
// A8R8G8B8 / X8R8G8B8 only: each source pixel (3 bytes B, G, R, or the low
// 24 bits of a 4-byte word) written as 0xFF000000 | colour.
int tex_fill_rect_rgb(TexRecord* rec, int x, int y, int w, int h, std::span<const uint8_t> src,
                      int src_bytes_per_pixel);

// --- sampler stages ----------------------------------------------------------------
// Binds `rec` (null or empty: nothing; white on stage 0) to a stage 0..7 with
// the texture-filter index, setting only what differs from the cache.
// Stages outside 0..7 are ignored.
void tex_set_stage(int stage, const TexRecord* rec, int filter_index);
// Sampler-state and texture calls made by tex_set_stage since start.
uint64_t tex_stage_set_count();

// --- depth surfaces and targets ------------------------------------------------------
int tex_surface_create(SurfRecord* s, GfxFormat depth_fmt, int width, int height);
void tex_surface_release(SurfRecord* s);
void tex_surface_reset(SurfRecord* s);
void tex_set_render_target(int index, uint32_t handle);
void tex_set_depth_target(SurfRecord* s);
void tex_set_targets(uint32_t color0, uint32_t color1, SurfRecord* depth);
uint32_t tex_default_rt_handle();
void tex_color_fill(uint32_t handle, uint32_t color);
void tex_stretch(uint32_t dst_handle, uint32_t src_handle, int filter_index);

// --- queries -----------------------------------------------------------------------
SurfRecord* tex_get_backbuffer_record();
SurfRecord* tex_get_depth_record();
SurfRecord* tex_get_target_record();
SurfRecord* tex_get_depth_target();
int tex_get_target_width();
int tex_get_target_height();
const TexRecord* tex_get_white();
