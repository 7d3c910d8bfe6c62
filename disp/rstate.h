// Render-state key, value tables and format tables.
//
// Main thread. Every drawing module describes its fixed-function states by one
// packed 32-bit RenderStateKey and hands it to disp_set_rstate_block, which
// sets on the device only what differs from the cache of the last applied
// values. Code that sets one of these states directly must call
// disp_rstate_cache_reset afterwards.
#pragma once

#include <cstdint>

#include "res/mesh_buf.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"

// RenderStateKey, bit 0 lowest:
//   0      valid (a key without it applies nothing)
//   2      lighting              4  z write          5  fog
//   8-12   blend-mode index (0..31, 16..31 use row 0; not 0 = blending on)
//   13-15  cull index            20-22  alpha-reference index (5 = test off)
//   23-25  z-function index      26-27  texture-filter index (for tex_set_stage)
//   28-29  fill index            30     reset the cache before applying
// Bits 1, 3, 6, 7, 16-19 and 31 are not read here; the 3D draw parameter keeps
// its own flags in them.
using RenderStateKey = uint32_t;

constexpr RenderStateKey DISP_RS_VALID = 1u << 0;
constexpr RenderStateKey DISP_RS_LIGHTING = 1u << 2;
constexpr RenderStateKey DISP_RS_Z_WRITE = 1u << 4;
constexpr RenderStateKey DISP_RS_FOG = 1u << 5;
constexpr int DISP_RS_BLEND_SHIFT = 8, DISP_RS_BLEND_BITS = 5;
constexpr int DISP_RS_CULL_SHIFT = 13, DISP_RS_CULL_BITS = 3;
constexpr int DISP_RS_ALPHA_REF_SHIFT = 20, DISP_RS_ALPHA_REF_BITS = 3;
constexpr int DISP_RS_Z_FUNC_SHIFT = 23, DISP_RS_Z_FUNC_BITS = 3;
constexpr int DISP_RS_FILTER_SHIFT = 26, DISP_RS_FILTER_BITS = 2;
constexpr int DISP_RS_FILL_SHIFT = 28, DISP_RS_FILL_BITS = 2;
constexpr RenderStateKey DISP_RS_CACHE_RESET = 1u << 30;

constexpr uint32_t disp_rstate_field(RenderStateKey key, int shift, int bits)
{
    return (key >> shift) & ((1u << bits) - 1u);
}
static_assert(DISP_RS_BLEND_SHIFT + DISP_RS_BLEND_BITS == DISP_RS_CULL_SHIFT);
static_assert(DISP_RS_ALPHA_REF_SHIFT + DISP_RS_ALPHA_REF_BITS == DISP_RS_Z_FUNC_SHIFT);
static_assert(DISP_RS_Z_FUNC_SHIFT + DISP_RS_Z_FUNC_BITS == DISP_RS_FILTER_SHIFT);
static_assert(DISP_RS_FILTER_SHIFT + DISP_RS_FILTER_BITS == DISP_RS_FILL_SHIFT);

// Alpha-reference index that turns alpha testing off.
constexpr int DISP_ALPHA_REF_OFF = 5;

// Surface-format indices (the 24 rows of the surface-format table).
enum : int {
    DISP_SF_A8R8G8B8 = 0,
    DISP_SF_X8R8G8B8,
    DISP_SF_A1R5G5B5,
    DISP_SF_X1R5G5B5,
    DISP_SF_R5G6B5,
    DISP_SF_R8G8B8,
    DISP_SF_A4R4G4B4,
    DISP_SF_A16B16G16R16,
    DISP_SF_A2R10G10B10,
    DISP_SF_A2B10G10R10,
    DISP_SF_A8,
    DISP_SF_L8,
    DISP_SF_A8L8,
    DISP_SF_DXT1,
    DISP_SF_DXT2,
    DISP_SF_DXT3,
    DISP_SF_DXT4,
    DISP_SF_DXT5,
    DISP_SF_R16F,
    DISP_SF_R32F,
    DISP_SF_G16R16F,
    DISP_SF_A16B16G16R16F,
    DISP_SF_G32R32F,
    DISP_SF_A32B32G32R32F,
    DISP_SURF_FORMAT_COUNT
};
static_assert(DISP_SURF_FORMAT_COUNT == 24);

// Vertex-format rows (one vertex declaration each).
// Use argument of disp_check_fmt.
enum : int {
    DISP_FMT_USE_TEXTURE = 0,
    DISP_FMT_USE_RENDER_TARGET = 1,
    DISP_FMT_USE_DEPTH_STENCIL = 2
};

// Surface kind bits of a format.
constexpr uint8_t DISP_SURF_KIND_COLOR = 1, DISP_SURF_KIND_DEPTH = 2, DISP_SURF_KIND_STENCIL = 4;

// The eleven arguments that disp_set_rstate_block hands unchanged to the
// shader library's mesh set-up. A nonzero shader set also forces lighting off
// for the fixed-function states.
struct RstateMeshArgs {
    int pass_id;
    int shader_set;
    const void* params;
    int decl;            // vertex-format index
    const float* world;  // Mat44, 16 floats
    const void* material;
    float scalar;
    const void* mesh;
    const void* skin;
    const void* lights;
    int light_count;
};

// --- key -------------------------------------------------------------------

// Packs a key with bit 0 set; every field masked to its width, bit 30 clear.
RenderStateKey rstate_key_make(int lighting, int zwrite, int fog, int blend, int cull,
                               int alpha_ref, int zfunc, int fill, int filter);

// Applies the key against the cache, then runs the shader library's mesh
// set-up with `mesh` (null: no mesh data; the set-up still runs with a zero
// record). 1 when lighting or fog changed or the set-up reported a change.
// A key without bit 0 applies nothing and yields 0.
int disp_set_rstate_block(RenderStateKey key, const RstateMeshArgs* mesh);
// Applies a key for a vertex format given by FVF code, with no mesh data.
int disp_set_rstate_key_fvf(RenderStateKey key, uint32_t fvf);
// Every cache word := unset (all bits set).
void disp_rstate_cache_reset();

// Cache getters: the word as last applied (0xFFFFFFFF while unset).
uint32_t disp_rstate_raw_lighting();
uint32_t disp_rstate_raw_fog();
uint32_t disp_rstate_lighting();
uint32_t disp_rstate_zwrite();
uint32_t disp_rstate_zfunc();
uint32_t disp_rstate_fog();
uint32_t disp_rstate_blend();
uint32_t disp_rstate_cull();
uint32_t disp_rstate_fill();
uint32_t disp_rstate_alpha_ref();
// Device render-state calls made by disp_set_rstate_block since start.
uint64_t disp_rstate_set_count();

// Unbinds sampler stages n to 7 (stage 0 falls back to the white texture).
void disp_unbind_stages_from(int n);

// SEPARATEALPHABLENDENABLE := enable; when on, the alpha factors and
// operation from the blend row.
void disp_set_alpha_blend_sep(int enable, int blend);

// --- value tables (indices out of range follow each table's rule) -----------
void disp_blend_mode_get(int index, uint32_t* src, uint32_t* dst, uint32_t* op);
uint32_t disp_cull_get(int index);
uint32_t disp_fill_get(int index);
uint32_t disp_filter_get(int index);
uint32_t disp_alpha_ref_get(int index);
uint32_t disp_zfunc_get(int index);
uint32_t disp_stencil_op_get(int index);

// --- vertex formats (the table itself is the mesh buffers') ------------------
// Sets the row's vertex declaration on the device. 0 for a bad index or a
// row without a declaration.
int disp_set_lvf_decl(int index);

// --- surface formats ---------------------------------------------------------
GfxFormat disp_index_to_fmt(int index);         // L8 for an index outside 0..23
int disp_fmt_to_index(GfxFormat fmt);           // 11 (L8) when absent
const char* disp_index_to_fmt_name(int index);  // null outside 0..23
int disp_fmt_bpp(GfxFormat fmt);                // 32 when absent
GfxFormat disp_depth_index_to_fmt(int index);   // 0 D16, 1 D24S8, others D16
uint8_t disp_fmt_kind(GfxFormat fmt);
int disp_fmt_is_depth(GfxFormat fmt);
// Does the device take the format for the use (DISP_FMT_USE_*): 1 or 0.
int disp_check_fmt(GfxFormat fmt, int use);
// disp_check_fmt of a texture's format (as a render target when it is one);
// 0 for a handle that names no texture.
int disp_check_tex_fmt(uint32_t handle);
