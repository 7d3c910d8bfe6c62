// gfx_tex: textures, surfaces and render targets.
//
// What it provides: textures in the 24 colour formats with mip chains,
// created empty, as render targets, or from PNG / JPEG / DDS data; lock and
// unlock of any level in Direct3D layout (rows top first, pitch = width x
// bytes per pixel, DXT pitch by 4x4 blocks), kept in a CPU copy for textures
// created empty and read back from GL for the locked rows of textures loaded
// from images, which hold their pixels only once; depth-stencil
// surfaces; the back buffer and its depth surface; render-target binding,
// colour fill and stretch; the 1x1 white texture; texture binding per stage.
//
// DXT1-DXT5 are uploaded as S3TC compressed textures (GfxCaps.s3tc); a
// driver without S3TC refuses them (gfx_check_format answers 0).
//
// Reference counting: gfx_tex_get_surface, gfx_get_render_target and
// gfx_get_depth_stencil_surface hand out a reference the caller releases
// with gfx_surface_release; a texture lives while any of its surfaces does.
// Lock of a render target or the back buffer reads the pixels back from GL.
#pragma once

#include "plat/gfx.h"

struct GfxTexture;  // opaque
struct GfxSurface;  // opaque

struct GfxSurfaceDesc {
    GfxFormat format;
    uint32_t usage;  // GFX_USAGE_* bits
    GfxPool pool;
    int width, height;
    int samples;
};

struct GfxLockedRect {
    int pitch;   // bytes per row (DXT: per row of 4x4 blocks)
    void* bits;  // first byte of the locked rectangle
};

// What a file held (D3DX-style image info).
enum GfxFileFormat : int { GFX_FILE_UNKNOWN = 0, GFX_FILE_PNG, GFX_FILE_JPEG, GFX_FILE_DDS };
struct GfxImageInfo {
    int width, height;  // the image's own size
    int mip_levels;     // levels in the file (1 for PNG/JPEG)
    GfxFormat format;   // format of the texture made from it
    GfxFileFormat file_format;
};

// Size arguments of the create-from-file calls.
constexpr int GFX_SIZE_DEFAULT = 0;           // the image size rounded up to powers of two
constexpr int GFX_SIZE_DEFAULT_NONPOW2 = -2;  // the image size as it is
// Mip levels: 0 = full chain, 1 = one level, n = n levels.
// Image and mip filters of the create-from-file calls.
enum GfxImageFilter : uint32_t {
    GFX_IFILTER_NONE = 1,
    GFX_IFILTER_POINT = 2,
    GFX_IFILTER_LINEAR = 3
};

// Bytes per pixel of a creatable colour format (0 for DXT and unknown);
// bytes per 4x4 block for DXT (8 or 16) through gfx_format_block_bytes.
int gfx_format_bytes_per_pixel(GfxFormat fmt);
int gfx_format_block_bytes(GfxFormat fmt);
int gfx_format_is_depth(GfxFormat fmt);
// Bytes of one level of w x h in Direct3D layout (pitch x rows).
size_t gfx_format_level_size(GfxFormat fmt, int width, int height);

// ---------------------------------------------------------------------------
// Textures
// ---------------------------------------------------------------------------
// levels 0 = full chain. usage: 0, GFX_USAGE_DYNAMIC, GFX_USAGE_RENDERTARGET
// (one level, pool DEFAULT), GFX_USAGE_AUTOGENMIPMAP. Null when refused.
GfxTexture* gfx_tex_create(int width, int height, int levels, uint32_t usage, GfxFormat fmt,
                           GfxPool pool);
void gfx_tex_addref(GfxTexture* tex);
void gfx_tex_release(GfxTexture* tex);
int gfx_tex_level_count(const GfxTexture* tex);
GfxHr gfx_tex_get_level_desc(const GfxTexture* tex, int level, GfxSurfaceDesc* out);
GfxSurface* gfx_tex_get_surface(GfxTexture* tex, int level);  // adds a reference
// rect null = whole level. READONLY locks upload nothing at unlock.
GfxHr gfx_tex_lock(GfxTexture* tex, int level, const GfxRect* rect, GfxLockedRect* out,
                   uint32_t flags);
GfxHr gfx_tex_unlock(GfxTexture* tex, int level);
void gfx_tex_preload(GfxTexture* tex);

// D3DX-shaped loaders. width/height: GFX_SIZE_* or a size (the image is
// placed at the top left with NONE, else stretched); levels as above;
// fmt GFX_FMT_UNKNOWN = from the file; info may be null. Bad data, or an
// image beyond the device's largest texture or the decoded ceiling (refused
// from its header, before decoding): GFX_E_BADDATA and *out = null. The file
// loader reads a data file (plat_read_data_file): one not read gives
// GFX_E_NOTAVAILABLE.
GfxHr gfx_tex_create_from_file_mem(const void* data, size_t size, int width, int height, int levels,
                                   uint32_t usage, GfxFormat fmt, GfxPool pool, uint32_t filter,
                                   uint32_t mip_filter, GfxImageInfo* info, GfxTexture** out);
GfxHr gfx_tex_create_from_file(const char* path, int width, int height, int levels, uint32_t usage,
                               GfxFormat fmt, GfxPool pool, uint32_t filter, uint32_t mip_filter,
                               GfxImageInfo* info, GfxTexture** out);
// The bytes of all levels of the texture gfx_tex_create_from_file_mem would
// make of this data with these arguments, read from the image's header
// (nothing is decoded); GFX_OK, or what that loader would answer for a
// header it refuses (*bytes is then 0).
GfxHr gfx_tex_file_mem_bytes(const void* data, size_t size, int width, int height, int levels,
                             GfxFormat fmt, uint64_t* bytes);
// The size a loader gives a decoded image of img_w x img_h (width/height as
// for the loaders; block-compressed images keep theirs). 0 when rounding up
// to powers of two would take the level past the decoded-image ceiling.
int gfx_tex_load_size(int img_w, int img_h, int width, int height, GfxFormat fmt, int* w, int* h);

// Binds a texture (or null) to a stage 0..7; other stages are refused.
GfxHr gfx_set_texture(int stage, GfxTexture* tex);
GfxTexture* gfx_get_texture(int stage);
// The layer's 1x1 white A8R8G8B8 texture (0xFFFFFFFF), owned by the device.
GfxTexture* gfx_white_texture(void);

// ---------------------------------------------------------------------------
// Surfaces and targets
// ---------------------------------------------------------------------------
GfxSurface* gfx_surface_create_depth(int width, int height, GfxFormat fmt, int samples);
void gfx_surface_addref(GfxSurface* s);
void gfx_surface_release(GfxSurface* s);
GfxHr gfx_surface_get_desc(const GfxSurface* s, GfxSurfaceDesc* out);
GfxHr gfx_surface_lock(GfxSurface* s, const GfxRect* rect, GfxLockedRect* out, uint32_t flags);
GfxHr gfx_surface_unlock(GfxSurface* s);
// Copies a rectangle of a 32-bit colour surface (A8R8G8B8 or X8R8G8B8) as
// B, G, R, A bytes into rows `pitch` bytes apart, top row first, without
// locking it. A multisampled surface is resolved first.
GfxHr gfx_surface_read_bgra(GfxSurface* s, const GfxRect* rect, uint8_t* dst, int pitch);

GfxSurface* gfx_get_render_target(int index);     // adds a reference; null when none
GfxSurface* gfx_get_depth_stencil_surface(void);  // adds a reference; null when none
// index 0 null is refused; index 1 null removes the second target. Setting
// target 0 resets the viewport and scissor to the whole target.
GfxHr gfx_set_render_target(int index, GfxSurface* s);
GfxHr gfx_set_depth_stencil_surface(GfxSurface* s);  // null: none
GfxHr gfx_color_fill(GfxSurface* s, const GfxRect* rect, uint32_t color);
// filter GFX_TEXF_POINT or GFX_TEXF_LINEAR; null rects = whole surfaces.
GfxHr gfx_stretch_rect(GfxSurface* src, const GfxRect* src_rect, GfxSurface* dst,
                       const GfxRect* dst_rect, uint32_t filter);
