// gfx: the drawing device, a Direct3D 9-shaped layer over OpenGL 4.5 core.
//
// What it provides: one device on the program's window (or a hidden test
// window), render, sampler and texture-stage states with Direct3D 9 meaning
// and defaults, transforms, one directional light and a material, clear,
// viewport, scissor, clip planes, stencil, colour write, begin/end of the
// scene, present, read-back, simulated device loss and counters.
// Buffers and draws are in gfx_draw.h, textures and surfaces in gfx_tex.h,
// the shader compiler stand-in in gfx_shader.h, image decoding in
// gfx_image.h.
//
// What callers rely on:
// - Direct3D conventions: clip depth 0..1, upper-left origin, row-vector
//   matrices (v' = v * M, matrices given as 16 floats row after row), pixel
//   centres at integer coordinates (a quad whose corners sit at -0.5 maps
//   texel i to pixel i; an edge through pixel centres takes them in on its
//   left and top, not on its right and bottom, for pre-transformed and
//   transformed vertices alike), colours 0xAARRGGBB, colour bytes B, G, R, A.
// - The frame is drawn into an off-screen colour target with depth and
//   stencil; present copies it to the window. Headless runs work the same.
// - Without a device (never created, creation failed, or destroyed) every
//   call fails cleanly: results GFX_E_NODEVICE, 0 or null, nothing touched.
// - Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Capacities
// ---------------------------------------------------------------------------
constexpr int GFX_MAX_STAGES = 8;          // texture / sampler stages 0..7
constexpr int GFX_MAX_RENDER_TARGETS = 2;  // simultaneous colour targets
constexpr int GFX_MAX_CLIP_PLANES = 6;
constexpr int GFX_MAX_LIGHTS = 1;   // light 0 only (directional)
constexpr int GFX_MAX_SAMPLES = 4;  // antialiasing samples asked for

// ---------------------------------------------------------------------------
// Results (HRESULT-like: 0 success, negative failure)
// ---------------------------------------------------------------------------
using GfxHr = int32_t;
constexpr GfxHr GFX_OK = 0;
constexpr GfxHr GFX_E_FAIL = -1;
constexpr GfxHr GFX_E_INVALIDCALL = -2;     // bad argument or misuse
constexpr GfxHr GFX_E_NODEVICE = -3;        // no device exists
constexpr GfxHr GFX_E_DEVICELOST = -4;      // present/test: device lost
constexpr GfxHr GFX_E_DEVICENOTRESET = -5;  // test: lost, may be reset now
constexpr GfxHr GFX_E_OUTOFMEMORY = -6;
constexpr GfxHr GFX_E_NOTAVAILABLE = -7;  // format / sample count refused
constexpr GfxHr GFX_E_BADDATA = -8;       // image file refused
inline bool gfx_ok(GfxHr hr) { return hr >= 0; }

// ---------------------------------------------------------------------------
// Formats (surface, depth, index). The 24 creatable colour formats first, in
// the order of the display's surface-format table; the rest exist for
// bits-per-pixel lookups and are refused by creation.
// ---------------------------------------------------------------------------
enum GfxFormat : uint32_t {
    GFX_FMT_UNKNOWN = 0,
    GFX_FMT_A8R8G8B8 = 1,
    GFX_FMT_X8R8G8B8,
    GFX_FMT_A1R5G5B5,
    GFX_FMT_X1R5G5B5,
    GFX_FMT_R5G6B5,
    GFX_FMT_R8G8B8,
    GFX_FMT_A4R4G4B4,
    GFX_FMT_A16B16G16R16,
    GFX_FMT_A2R10G10B10,
    GFX_FMT_A2B10G10R10,
    GFX_FMT_A8,
    GFX_FMT_L8,
    GFX_FMT_A8L8,
    GFX_FMT_DXT1,
    GFX_FMT_DXT2,
    GFX_FMT_DXT3,
    GFX_FMT_DXT4,
    GFX_FMT_DXT5,
    GFX_FMT_R16F,
    GFX_FMT_R32F,
    GFX_FMT_G16R16F,
    GFX_FMT_A16B16G16R16F,
    GFX_FMT_G32R32F,
    GFX_FMT_A32B32G32R32F,  // = 24
    // depth-stencil
    GFX_FMT_D16 = 40,
    GFX_FMT_D24S8,
    GFX_FMT_D16_LOCKABLE,
    GFX_FMT_D32,
    GFX_FMT_D15S1,
    GFX_FMT_D24X8,
    GFX_FMT_D24X4S4,
    GFX_FMT_D32F_LOCKABLE,
    GFX_FMT_D24FS8,
    // index buffers
    GFX_FMT_INDEX16 = 60,
    GFX_FMT_INDEX32,
    // named only for tables (never created)
    GFX_FMT_L6V5U5 = 80,
    GFX_FMT_X8L8V8U8,
    GFX_FMT_A2W10V10U10,
    GFX_FMT_V8U8,
    GFX_FMT_Q8W8V8U8,
    GFX_FMT_V16U16,
    GFX_FMT_Q16W16V16U16,
    GFX_FMT_R3G3B2,
    GFX_FMT_A8R3G3B2,
    GFX_FMT_X4R4G4B4,
    GFX_FMT_A8B8G8R8,
    GFX_FMT_X8B8G8R8,
    GFX_FMT_G16R16,
    GFX_FMT_A8P8,
    GFX_FMT_P8,
    GFX_FMT_L16,
    GFX_FMT_A4L4,
};

// Usage bits (creation and format checks).
constexpr uint32_t GFX_USAGE_RENDERTARGET = 0x1;
constexpr uint32_t GFX_USAGE_DEPTHSTENCIL = 0x2;
constexpr uint32_t GFX_USAGE_WRITEONLY = 0x8;
constexpr uint32_t GFX_USAGE_DYNAMIC = 0x200;
constexpr uint32_t GFX_USAGE_AUTOGENMIPMAP = 0x400;
constexpr uint32_t GFX_USAGE_QUERY_FILTER = 0x20000;
constexpr uint32_t GFX_USAGE_QUERY_POSTPIXELSHADER_BLENDING = 0x80000;

enum GfxPool : int { GFX_POOL_DEFAULT = 0, GFX_POOL_MANAGED = 1, GFX_POOL_SYSTEMMEM = 2 };
enum GfxResourceType : int { GFX_RTYPE_SURFACE = 1, GFX_RTYPE_TEXTURE = 3 };

// Lock flags.
constexpr uint32_t GFX_LOCK_READONLY = 0x10;
constexpr uint32_t GFX_LOCK_DISCARD = 0x2000;
constexpr uint32_t GFX_LOCK_NOOVERWRITE = 0x1000;
constexpr uint32_t GFX_LOCK_NOSYSLOCK = 0x800;

// Clear flags.
constexpr uint32_t GFX_CLEAR_TARGET = 0x1;
constexpr uint32_t GFX_CLEAR_ZBUFFER = 0x2;
constexpr uint32_t GFX_CLEAR_STENCIL = 0x4;

// ---------------------------------------------------------------------------
// Render states (index into the state table) and their values
// ---------------------------------------------------------------------------
enum GfxRs : int {
    GFX_RS_ZENABLE,                   // 1 (default: on with a depth surface)
    GFX_RS_FILLMODE,                  // GFX_FILL_SOLID
    GFX_RS_SHADEMODE,                 // GFX_SHADE_GOURAUD
    GFX_RS_ZWRITEENABLE,              // 1
    GFX_RS_ALPHATESTENABLE,           // 0
    GFX_RS_SRCBLEND,                  // GFX_BLEND_ONE
    GFX_RS_DESTBLEND,                 // GFX_BLEND_ZERO
    GFX_RS_CULLMODE,                  // GFX_CULL_CCW
    GFX_RS_ZFUNC,                     // GFX_CMP_LESSEQUAL
    GFX_RS_ALPHAREF,                  // 0 (0..255)
    GFX_RS_ALPHAFUNC,                 // GFX_CMP_ALWAYS
    GFX_RS_ALPHABLENDENABLE,          // 0
    GFX_RS_FOGENABLE,                 // 0
    GFX_RS_FOGCOLOR,                  // 0 (0xAARRGGBB)
    GFX_RS_FOGTABLEMODE,              // GFX_FOG_NONE
    GFX_RS_FOGSTART,                  // float bits 0.0
    GFX_RS_FOGEND,                    // float bits 1.0
    GFX_RS_FOGVERTEXMODE,             // GFX_FOG_NONE
    GFX_RS_RANGEFOGENABLE,            // 0
    GFX_RS_STENCILENABLE,             // 0
    GFX_RS_STENCILFAIL,               // GFX_STENCILOP_KEEP
    GFX_RS_STENCILZFAIL,              // GFX_STENCILOP_KEEP
    GFX_RS_STENCILPASS,               // GFX_STENCILOP_KEEP
    GFX_RS_STENCILFUNC,               // GFX_CMP_ALWAYS
    GFX_RS_STENCILREF,                // 0
    GFX_RS_STENCILMASK,               // 0xFFFFFFFF
    GFX_RS_STENCILWRITEMASK,          // 0xFFFFFFFF
    GFX_RS_TEXTUREFACTOR,             // 0xFFFFFFFF
    GFX_RS_CLIPPLANEENABLE,           // 0 (bit i = plane i)
    GFX_RS_LIGHTING,                  // 1
    GFX_RS_AMBIENT,                   // 0 (0xAARRGGBB)
    GFX_RS_COLORVERTEX,               // 1
    GFX_RS_NORMALIZENORMALS,          // 0
    GFX_RS_SPECULARENABLE,            // 0
    GFX_RS_DIFFUSEMATERIALSOURCE,     // GFX_MCS_COLOR1
    GFX_RS_AMBIENTMATERIALSOURCE,     // GFX_MCS_MATERIAL
    GFX_RS_SPECULARMATERIALSOURCE,    // GFX_MCS_COLOR2
    GFX_RS_EMISSIVEMATERIALSOURCE,    // GFX_MCS_MATERIAL
    GFX_RS_COLORWRITEENABLE,          // 0xF (bit 0 R, 1 G, 2 B, 3 A)
    GFX_RS_BLENDOP,                   // GFX_BLENDOP_ADD
    GFX_RS_SCISSORTESTENABLE,         // 0
    GFX_RS_SEPARATEALPHABLENDENABLE,  // 0
    GFX_RS_SRCBLENDALPHA,             // GFX_BLEND_ONE
    GFX_RS_DESTBLENDALPHA,            // GFX_BLEND_ZERO
    GFX_RS_BLENDOPALPHA,              // GFX_BLENDOP_ADD
    GFX_RS_COUNT
};

enum GfxFill : uint32_t { GFX_FILL_POINT = 1, GFX_FILL_WIREFRAME = 2, GFX_FILL_SOLID = 3 };
enum GfxShade : uint32_t { GFX_SHADE_FLAT = 1, GFX_SHADE_GOURAUD = 2 };
enum GfxBlend : uint32_t {
    GFX_BLEND_ZERO = 1,
    GFX_BLEND_ONE,
    GFX_BLEND_SRCCOLOR,
    GFX_BLEND_INVSRCCOLOR,
    GFX_BLEND_SRCALPHA,
    GFX_BLEND_INVSRCALPHA,
    GFX_BLEND_DESTALPHA,
    GFX_BLEND_INVDESTALPHA,
    GFX_BLEND_DESTCOLOR,
    GFX_BLEND_INVDESTCOLOR,
    GFX_BLEND_SRCALPHASAT,
};
enum GfxBlendOp : uint32_t {
    GFX_BLENDOP_ADD = 1,
    GFX_BLENDOP_SUBTRACT,
    GFX_BLENDOP_REVSUBTRACT,
    GFX_BLENDOP_MIN,
    GFX_BLENDOP_MAX,
};
// Culling as Direct3D sees it on screen (y grows downwards): CCW removes the
// triangles whose vertices run counter-clockwise on screen.
enum GfxCull : uint32_t { GFX_CULL_NONE = 1, GFX_CULL_CW = 2, GFX_CULL_CCW = 3 };
enum GfxCmp : uint32_t {
    GFX_CMP_NEVER = 1,
    GFX_CMP_LESS,
    GFX_CMP_EQUAL,
    GFX_CMP_LESSEQUAL,
    GFX_CMP_GREATER,
    GFX_CMP_NOTEQUAL,
    GFX_CMP_GREATEREQUAL,
    GFX_CMP_ALWAYS,
};
// INCRSAT/DECRSAT saturate, INCR/DECR wrap.
enum GfxStencilOp : uint32_t {
    GFX_STENCILOP_KEEP = 1,
    GFX_STENCILOP_ZERO,
    GFX_STENCILOP_REPLACE,
    GFX_STENCILOP_INCRSAT,
    GFX_STENCILOP_DECRSAT,
    GFX_STENCILOP_INVERT,
    GFX_STENCILOP_INCR,
    GFX_STENCILOP_DECR,
};
enum GfxFogMode : uint32_t { GFX_FOG_NONE = 0, GFX_FOG_EXP, GFX_FOG_EXP2, GFX_FOG_LINEAR };
enum GfxMaterialSource : uint32_t { GFX_MCS_MATERIAL = 0, GFX_MCS_COLOR1, GFX_MCS_COLOR2 };

// ---------------------------------------------------------------------------
// Sampler states (per stage) and their values
// ---------------------------------------------------------------------------
enum GfxSamp : int {
    GFX_SAMP_ADDRESSU,   // GFX_TADDRESS_WRAP
    GFX_SAMP_ADDRESSV,   // GFX_TADDRESS_WRAP
    GFX_SAMP_MAGFILTER,  // GFX_TEXF_POINT
    GFX_SAMP_MINFILTER,  // GFX_TEXF_POINT
    GFX_SAMP_MIPFILTER,  // GFX_TEXF_NONE
    GFX_SAMP_COUNT
};
enum GfxTAddress : uint32_t { GFX_TADDRESS_WRAP = 1, GFX_TADDRESS_MIRROR, GFX_TADDRESS_CLAMP };
enum GfxTexFilter : uint32_t { GFX_TEXF_NONE = 0, GFX_TEXF_POINT, GFX_TEXF_LINEAR };

// ---------------------------------------------------------------------------
// Texture-stage states (per stage) and their values
// ---------------------------------------------------------------------------
enum GfxTss : int {
    GFX_TSS_COLOROP,        // stage 0 MODULATE, others DISABLE
    GFX_TSS_COLORARG1,      // GFX_TA_TEXTURE
    GFX_TSS_COLORARG2,      // GFX_TA_CURRENT
    GFX_TSS_ALPHAOP,        // stage 0 SELECTARG1, others DISABLE
    GFX_TSS_ALPHAARG1,      // GFX_TA_TEXTURE
    GFX_TSS_ALPHAARG2,      // GFX_TA_CURRENT
    GFX_TSS_TEXCOORDINDEX,  // the stage number
    GFX_TSS_COUNT
};
enum GfxTop : uint32_t {
    GFX_TOP_DISABLE = 1,
    GFX_TOP_SELECTARG1,
    GFX_TOP_SELECTARG2,
    GFX_TOP_MODULATE,
    GFX_TOP_MODULATE2X,
    GFX_TOP_MODULATE4X,
    GFX_TOP_ADD,
    GFX_TOP_ADDSIGNED,
    GFX_TOP_SUBTRACT,
};
// Arguments; the two modifier bits may be or-ed in. On a stage without a
// texture, TEXTURE reads white, and SELECTARG1 of TEXTURE passes the current
// value on (untextured draws keep their vertex colour and alpha).
constexpr uint32_t GFX_TA_DIFFUSE = 0;
constexpr uint32_t GFX_TA_CURRENT = 1;
constexpr uint32_t GFX_TA_TEXTURE = 2;
constexpr uint32_t GFX_TA_TFACTOR = 3;
constexpr uint32_t GFX_TA_COMPLEMENT = 0x10;
constexpr uint32_t GFX_TA_ALPHAREPLICATE = 0x20;

// ---------------------------------------------------------------------------
// Transforms, light, material
// ---------------------------------------------------------------------------
enum GfxTransform : int { GFX_TS_WORLD, GFX_TS_VIEW, GFX_TS_PROJECTION, GFX_TS_COUNT };

struct GfxColorF {
    float r, g, b, a;
};

enum GfxLightType : int { GFX_LIGHT_POINT = 1, GFX_LIGHT_SPOT, GFX_LIGHT_DIRECTIONAL };
struct GfxLight {
    int type;  // only GFX_LIGHT_DIRECTIONAL is drawn
    GfxColorF diffuse, specular, ambient;
    float position[3];
    float direction[3];  // direction the light travels
    float range, falloff, attenuation0, attenuation1, attenuation2, theta, phi;
};
struct GfxMaterial {
    GfxColorF diffuse, ambient, specular, emissive;
    float power;
};

// ---------------------------------------------------------------------------
// Rectangles, viewport, present parameters, caps, counters
// ---------------------------------------------------------------------------
struct GfxRect {
    int left, top, right, bottom;
};  // right/bottom exclusive
struct GfxViewport {
    int x, y, width, height;
    float min_z, max_z;
};

struct GfxPresentParams {
    int width, height;       // back-buffer size; 0 = the window's drawable size
    GfxFormat depth_format;  // GFX_FMT_D24S8, GFX_FMT_D16 or GFX_FMT_UNKNOWN (none)
    int vsync;               // 1: wait for vertical sync at present
    int samples;             // 0 or 1 = none, 2..4 antialiasing samples
    int windowed;            // informational; the window is SDL's
};

struct GfxCaps {
    uint32_t vertex_shader_version;  // 0xFFFE0300 style (3.0)
    uint32_t pixel_shader_version;   // 0xFFFF0300 style (3.0)
    int max_simultaneous_rts;        // GFX_MAX_RENDER_TARGETS
    int max_texture_size;
    int max_samples;  // highest sample count the driver takes
    int s3tc;         // DXT uploaded compressed
};

// Counters of work given to GL, read by tests and benchmarks.
struct GfxCounters {
    uint64_t draw_calls;      // glDraw* issued
    uint64_t state_changes;   // GL state calls made by the state cache
    uint64_t buffer_uploads;  // writes into GL buffers (stream and static)
    uint64_t upload_bytes;
    uint64_t texture_uploads;  // texture level uploads
    uint64_t program_binds;    // pipeline stage changes
    uint64_t programs_built;   // shader programs compiled (user and generated)
    uint64_t presents;
};

// ---------------------------------------------------------------------------
// Device start and stop
// ---------------------------------------------------------------------------

// Creates the device on a window with a current-able GL 4.5 core context.
// `native_window` is the platform window (plat/window's SDL window; tests use
// gfx_test_window_create). Sample counts the driver refuses fall back to none.
// Returns 1, or 0 and leaves the "no device" state.
int gfx_device_create(void* native_window, const GfxPresentParams* pp);
void gfx_device_destroy(void);
int gfx_device_ok(void);  // 1 while a device exists
// The device as an opaque handle for callers that pass it on; null without one.
struct GfxDevice;
GfxDevice* gfx_device(void);
const GfxCaps* gfx_get_caps(void);                   // null without a device
void gfx_get_present_params(GfxPresentParams* out);  // as applied
int gfx_get_backbuffer_size(int* width, int* height);

// A hidden 4.5 core GL window for tests and benchmarks, with the allocator set as the
// program sets it at start (plat_alloc_setup); null on failure.
void* gfx_test_window_create(int width, int height);
void gfx_test_window_destroy(void* window);

// Is a sample count available (1) or refused (0); out: quality levels.
int gfx_check_multisample(int samples, int* quality_levels);
// Does the device take a format with these usage bits for a resource type.
int gfx_check_format(GfxFormat fmt, uint32_t usage, GfxResourceType rtype);

// ---------------------------------------------------------------------------
// Frame, present and device loss
// ---------------------------------------------------------------------------
GfxHr gfx_begin_scene(void);  // fails when already in a scene or lost
GfxHr gfx_end_scene(void);
// Copies the back buffer to the window. After gfx_simulate_device_loss it
// returns GFX_E_DEVICELOST until gfx_reset succeeds.
GfxHr gfx_present(void);
// GFX_OK, GFX_E_DEVICELOST (first test after the loss) or
// GFX_E_DEVICENOTRESET (after that, until reset).
GfxHr gfx_test_cooperative_level(void);
// Returns every state to its default, unbinds textures, shaders, buffers and
// targets (the back buffer and its depth surface come back), re-creates the
// back buffer for `pp`. Resources stay valid.
GfxHr gfx_reset(const GfxPresentParams* pp);
// Makes the device behave as lost (tests only: GL never loses it).
void gfx_simulate_device_loss(void);

// ---------------------------------------------------------------------------
// States
// ---------------------------------------------------------------------------
GfxHr gfx_set_render_state(GfxRs state, uint32_t value);
GfxHr gfx_set_render_state_f(GfxRs state, float value);  // stores the float bits
uint32_t gfx_get_render_state(GfxRs state);
GfxHr gfx_set_sampler_state(int stage, GfxSamp state, uint32_t value);
uint32_t gfx_get_sampler_state(int stage, GfxSamp state);
GfxHr gfx_set_texture_stage_state(int stage, GfxTss state, uint32_t value);
uint32_t gfx_get_texture_stage_state(int stage, GfxTss state);

GfxHr gfx_set_transform(GfxTransform which, const float m[16]);  // rows
GfxHr gfx_get_transform(GfxTransform which, float m[16]);
GfxHr gfx_set_light(int index, const GfxLight* light);
GfxHr gfx_light_enable(int index, int enable);
GfxHr gfx_set_material(const GfxMaterial* material);
// Plane (a, b, c, d): a point p is kept where a*x + b*y + c*z + d >= 0; world
// space for fixed-function drawing, clip space under a vertex shader.
GfxHr gfx_set_clip_plane(int index, const float plane[4]);

GfxHr gfx_set_viewport(const GfxViewport* vp);  // clipped to the target
GfxHr gfx_get_viewport(GfxViewport* out);
GfxHr gfx_set_scissor_rect(const GfxRect* r);  // clamped to the target
GfxHr gfx_get_scissor_rect(GfxRect* out);

// Clear of the viewport (and the scissor rectangle while scissoring is on)
// with colour 0xAARRGGBB, depth z and stencil; masks and z-write ignored.
GfxHr gfx_clear(uint32_t flags, uint32_t color, float z, uint32_t stencil);

// Reads a rectangle of colour target 0 (resolved) as rows of B, G, R, A
// bytes, top row first, `pitch` bytes apart. The rectangle must lie inside.
GfxHr gfx_read_pixels(int x, int y, int width, int height, uint8_t* dst, int pitch);

// ---------------------------------------------------------------------------
// Counters
// ---------------------------------------------------------------------------
const GfxCounters* gfx_get_counters(void);
void gfx_reset_counters(void);

// Plain GL state cache: after code outside the layer touched GL, forget what
// the cache believes so that the next draw sets everything again.
void gfx_invalidate_gl_cache(void);
