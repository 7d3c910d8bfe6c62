// Render-state key, value tables and format tables.
//
// Main thread. Every drawing module describes its fixed-function states by one
// packed 32-bit RenderStateKey and hands it to disp_set_rstate_block, which
// sets on the device only what differs from the cache of the last applied
// values. Code that sets one of these states directly must call
// disp_rstate_cache_reset afterwards.
#pragma once

#include <cstdint>

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

constexpr uint32_t rstate_field(RenderStateKey key, int shift, int bits) {
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
    kSfA8R8G8B8 = 0, kSfX8R8G8B8, kSfA1R5G5B5, kSfX1R5G5B5, kSfR5G6B5, kSfR8G8B8,
    kSfA4R4G4B4, kSfA16B16G16R16, kSfA2R10G10B10, kSfA2B10G10R10, kSfA8, kSfL8, kSfA8L8,
    kSfDxt1, kSfDxt2, kSfDxt3, kSfDxt4, kSfDxt5, kSfR16F, kSfR32F, kSfG16R16F,
    kSfA16B16G16R16F, kSfG32R32F, kSfA32B32G32R32F,
    kSurfFormatCount
};
static_assert(kSurfFormatCount == 24);

// Vertex-format rows (one vertex declaration each).
constexpr int kVertexFormatCount = 52;

// Packs a key with bit 0 set; every field masked to its width, bit 30 clear.
RenderStateKey rstate_key_make(int lighting, int zwrite, int fog, int blend, int cull,
                               int alpha_ref, int zfunc, int fill, int filter);
