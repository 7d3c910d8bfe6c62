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

constexpr RenderStateKey kRsValid = 1u << 0;
constexpr RenderStateKey kRsLighting = 1u << 2;
constexpr RenderStateKey kRsZWrite = 1u << 4;
constexpr RenderStateKey kRsFog = 1u << 5;
constexpr int kRsBlendShift = 8, kRsBlendBits = 5;
constexpr int kRsCullShift = 13, kRsCullBits = 3;
constexpr int kRsAlphaRefShift = 20, kRsAlphaRefBits = 3;
constexpr int kRsZFuncShift = 23, kRsZFuncBits = 3;
constexpr int kRsFilterShift = 26, kRsFilterBits = 2;
constexpr int kRsFillShift = 28, kRsFillBits = 2;
constexpr RenderStateKey kRsCacheReset = 1u << 30;

constexpr uint32_t rstate_field(RenderStateKey key, int shift, int bits)
{
    return (key >> shift) & ((1u << bits) - 1u);
}
static_assert(kRsBlendShift + kRsBlendBits == kRsCullShift);
static_assert(kRsAlphaRefShift + kRsAlphaRefBits == kRsZFuncShift);
static_assert(kRsZFuncShift + kRsZFuncBits == kRsFilterShift);
static_assert(kRsFilterShift + kRsFilterBits == kRsFillShift);

// Alpha-reference index that turns alpha testing off.
constexpr int kAlphaRefOff = 5;

// Surface-format indices (the 24 rows of the surface-format table).
enum : int {
    kSfA8R8G8B8 = 0,
    kSfX8R8G8B8,
    kSfA1R5G5B5,
    kSfX1R5G5B5,
    kSfR5G6B5,
    kSfR8G8B8,
    kSfA4R4G4B4,
    kSfA16B16G16R16,
    kSfA2R10G10B10,
    kSfA2B10G10R10,
    kSfA8,
    kSfL8,
    kSfA8L8,
    kSfDxt1,
    kSfDxt2,
    kSfDxt3,
    kSfDxt4,
    kSfDxt5,
    kSfR16F,
    kSfR32F,
    kSfG16R16F,
    kSfA16B16G16R16F,
    kSfG32R32F,
    kSfA32B32G32R32F,
    kSurfFormatCount
};
static_assert(kSurfFormatCount == 24);

// Vertex-format rows (one vertex declaration each).
// Use argument of disp_check_fmt.
enum : int { kFmtUseTexture = 0, kFmtUseRenderTarget = 1, kFmtUseDepthStencil = 2 };

// Surface kind bits of a format.
constexpr uint8_t kSurfKindColor = 1, kSurfKindDepth = 2, kSurfKindStencil = 4;

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
// Does the device take the format for the use (kFmtUse*): 1 or 0.
int disp_check_fmt(GfxFormat fmt, int use);
// disp_check_fmt of a texture's format (as a render target when it is one);
// 0 for a handle that names no texture.
int disp_check_tex_fmt(uint32_t handle);
