// gfx_local: the drawing device's private records, shared by the gfx_*.cpp
// files and their white-box tests only. Nothing above plat/ includes this.
//
// Ownership: gfx.cpp owns the device record `gfx_dev`; gfx_state.cpp the
// Direct3D-side states in it; gfx_gl_state.cpp the GL state cache;
// gfx_draw.cpp the stream rings and declarations; gfx_tex.cpp the textures
// and surfaces; gfx_target.cpp the framebuffers' attachments; gfx_shader.cpp,
// gfx_shader_const.cpp, gfx_layer_uniforms.cpp and gfx_ffp.cpp the programs.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "plat/gfx_shader.h"
#include "plat/gfx_tex.h"

// ---------------------------------------------------------------------------
// Fixed attribute locations and varyings shared by every stage
// ---------------------------------------------------------------------------
enum GfxAttr : int {
    GFX_ATTR_POSITION = 0,
    GFX_ATTR_BLENDWEIGHT = 1,
    GFX_ATTR_BLENDINDICES = 2,
    GFX_ATTR_NORMAL = 3,
    GFX_ATTR_COLOR0 = 4,
    GFX_ATTR_TEXCOORD0 = 5,  // 5..12
    GFX_ATTR_TANGENT = 13,
    GFX_ATTR_BINORMAL = 14,
    GFX_ATTR_COUNT = 15,
};

// Uniforms the layer itself feeds (names "gfx_..." in every prelude).
enum GfxLayerUniform : int {
    GFX_LU_WVP,
    GFX_LU_WV,
    GFX_LU_WORLD,
    GFX_LU_VIEWPORT,
    GFX_LU_HALFPIXEL,  // transform group
    GFX_LU_LIGHTDIR,
    GFX_LU_LIGHTDIFFUSE,
    GFX_LU_LIGHTSPECULAR,  // light group
    GFX_LU_LIGHTAMBIENT,
    GFX_LU_MATDIFFUSE,
    GFX_LU_MATAMBIENT,
    GFX_LU_MATSPECULAR,
    GFX_LU_MATEMISSIVE,
    GFX_LU_MATPOWER,
    GFX_LU_AMBIENT,
    GFX_LU_ALPHAFUNC,
    GFX_LU_ALPHAREF,
    GFX_LU_FOGON,
    GFX_LU_FOGCOLOR,  // pixel group
    GFX_LU_FOGRANGE,
    GFX_LU_TFACTOR,
    GFX_LU_CLIPPLANE,  // clip group
    GFX_LU_COUNT
};

// ---------------------------------------------------------------------------
// Resources
// ---------------------------------------------------------------------------
struct GfxFormatInfo {
    GLenum internal_format;  // 0: not creatable
    GLenum format, type;     // client layout of the Direct3D bytes
    GLint swizzle[4];
    int bytes_per_pixel;  // 0 for block formats
    int block_bytes;      // DXT: 8 or 16
    int renderable;
};
const GfxFormatInfo* gfx_format_info(GfxFormat fmt);

struct GfxLevel {
    int width = 0, height = 0;
    std::vector<uint8_t> copy;  // CPU copy in Direct3D layout (textures that keep one)
    // Without a kept copy: the locked rows, read back from GL for the lock.
    std::vector<uint8_t> lock_rows;
    int locked = 0;
    uint32_t lock_flags = 0;
    GfxRect lock_rect{};
};

struct GfxSurface {
    int refs = 1;
    uint32_t gen = 0;             // device generation that made it
    GfxTexture* owner = nullptr;  // texture level surface, or null (own storage)
    int level = 0;
    GfxSurfaceDesc desc{};
    GLuint renderbuffer = 0;         // depth surfaces and the multisampled back buffer
    GLuint resolve_tex = 0;          // single-sample copy of a multisampled colour surface
    std::vector<uint8_t> lock_copy;  // read-back copy while locked
    int locked = 0;
    int is_backbuffer = 0;
};

struct GfxTexture {
    int refs = 1;
    uint32_t gen = 0;
    GLuint tex = 0;
    GfxFormat format = GFX_FMT_UNKNOWN;
    uint32_t usage = 0;
    GfxPool pool = GFX_POOL_DEFAULT;
    int width = 0, height = 0;
    std::vector<GfxLevel> levels;
    std::vector<GfxSurface*> surfaces;  // made on demand, one per level
    int internal_surface_refs = 0;
    // Textures made empty keep every level in a CPU copy, since they are
    // written through locks; textures loaded from images hold their pixels in
    // GL alone, and a lock reads its rows back.
    int cpu_copy = 1;
};

struct GfxVertexDecl {
    uint32_t gen = 0;
    GLuint vao = 0;
    std::vector<GfxVertexElement> elements;
    int size = 0;            // vertex size implied by the elements
    uint32_t attr_mask = 0;  // bit per GfxAttr present
    int pretransformed = 0;  // POSITIONT
    int tex_sets = 0;
    // what is bound to this VAO's binding point 0 and element buffer
    GLuint bound_buffer = 0;
    GLintptr bound_offset = -1;
    GLsizei bound_stride = -1;
    GLuint bound_elements = 0;
};

struct GfxBuffer {
    uint32_t gen = 0;
    GLuint buf = 0;
    std::vector<uint8_t> copy;
    uint32_t usage = 0;
    GfxPool pool = GFX_POOL_DEFAULT;
    int locked = 0;
    uint32_t lock_offset = 0, lock_size = 0, lock_flags = 0;
    uint32_t dirty_lo = UINT32_MAX, dirty_hi = 0;  // range written since the last upload
};
struct GfxVertexBuffer : GfxBuffer {
    uint32_t fvf = 0;
};
// The largest index of a run of an index buffer, as of one version of its
// contents, so that repeated draws of a mesh check their indices by one
// comparison.
struct GfxIndexMemo {
    uint32_t version = 0, start = 0, count = 0, max = 0;
};
struct GfxIndexBuffer : GfxBuffer {
    GfxFormat fmt = GFX_FMT_INDEX16;
    uint32_t version = 1;  // rises with every write of the contents
    std::array<GfxIndexMemo, 8> memo{};
};

// A stage is compiled once per combination of the states that change its
// code, so that the common case carries no dead tail: pixel stages by alpha
// test and fog, vertex stages by user clip planes. The variant with every
// switch on keeps the run-time checks and is the general path.
enum GfxVariantBit : int {
    GFX_VAR_ALPHA = 1,  // pixel: alpha test compiled in
    GFX_VAR_FOG = 2,    // pixel: fog blend compiled in
    GFX_VAR_CLIP = 1,   // vertex: clip distances written
};
constexpr int GFX_STAGE_VARIANTS = 4;

struct GfxConstEntry {
    std::string name;
    GfxConstType type = GFX_CT_NONE;
    int count = 1;  // declared (cut to what GL keeps)
    GLint location = -1;
    int sampler_stage = -1;
    // the constant's location in each variant program (-1: not built)
    std::array<GLint, GFX_STAGE_VARIANTS> var_loc{-1, -1, -1, -1};
};

struct GfxStageProgram {
    GLuint program = 0;  // 0 until first needed
    // layer uniforms (epilogue / fixed-function inputs); -1 when absent
    std::array<GLint, GFX_LU_COUNT> loc{};
    uint64_t uploaded_serial[4] = {};  // per uniform group
    int failed = 0;
};

struct GfxShader;

// A vertex and a pixel variant linked into one program. The renderer
// optimises only within a program: two separate stages cost it noticeably
// more per draw and per vertex than the same pair linked together. The
// pair mirrors the stages' constants (written through at every set).
struct GfxStagePair {
    GfxStageProgram prog;
    uint64_t key = 0;  // the two variants' programs
    GfxShader* stage[2] = {};
    std::vector<GLint> loc[2];  // per constant of each stage; -1 when absent
};

struct GfxShader {
    uint32_t gen = 0;
    GfxShaderKind kind = GFX_SHADER_VERTEX;
    GLuint program = 0;  // the variant the constant table was read from
    int base_variant = 0;
    std::vector<GfxConstEntry> constants;
    std::array<GfxStageProgram, GFX_STAGE_VARIANTS> var{};
    std::string text;  // source after the variant switches, for later variants
    int generated = 0;
    std::vector<GfxStagePair*> pairs;  // linked pairs this stage is part of
};

// ---------------------------------------------------------------------------
// GL state cache: compare, call, count. Holds what GL has now.
// ---------------------------------------------------------------------------
struct GfxGlCache {
    int valid = 0;
    GLuint draw_fbo = 0;
    GLuint vao = 0;
    GLuint vs = 0, fs = 0;  // program stages of the pipeline
    std::array<GLuint, GFX_MAX_STAGES> texture{};
    int blend = -1;
    GLenum blend_src_rgb = 0, blend_dst_rgb = 0, blend_src_a = 0, blend_dst_a = 0;
    GLenum blend_eq_rgb = 0, blend_eq_a = 0;
    int depth_test = -1;
    GLenum depth_func = 0;
    int depth_mask = -1;
    int cull = -1;
    GLenum cull_face = 0;
    GLenum polygon_mode = 0;
    int stencil_test = -1;
    GLenum stencil_func = 0;
    GLint stencil_ref = -1;
    GLuint stencil_mask = 0, stencil_write = 0;
    GLenum stencil_fail = 0, stencil_zfail = 0, stencil_pass = 0;
    int color_mask = -1;
    int scissor_test = -1;
    GfxRect scissor{-1, -1, -1, -1};
    GfxRect viewport{-1, -1, -1, -1};
    float depth_near = -1.0f, depth_far = -1.0f;
    int clip_mask = -1;
    std::array<std::array<GLint, GFX_SAMP_COUNT>, GFX_MAX_STAGES> sampler{};
};

// ---------------------------------------------------------------------------
// Device record
// ---------------------------------------------------------------------------
// Uniform groups whose serial rises when their source state changes.
enum GfxUniformGroup : int { GFX_UG_TRANSFORM = 0, GFX_UG_LIGHT, GFX_UG_PIXEL, GFX_UG_CLIP };

struct GfxStreamRing {
    GLuint buf = 0;
    uint8_t* map = nullptr;
    uint32_t size = 0, head = 0;
    int quarter = 0;                // the quarter being written, entered and waited for
    std::array<GLsync, 4> fence{};  // one per quarter, set when the writer leaves it
};

struct GfxDevice {
    int ok = 0;
    uint32_t generation = 0;  // rises with every device; objects remember theirs
    void* window = nullptr;   // SDL_Window*
    void* context = nullptr;  // SDL_GLContext
    int own_context = 0;
    GfxPresentParams pp{};
    GfxCaps caps{};
    GfxCounters counters{};
    GfxGlCache gl;

    // Direct3D-side state
    std::array<uint32_t, GFX_RS_COUNT> rs{};
    std::array<std::array<uint32_t, GFX_SAMP_COUNT>, GFX_MAX_STAGES> samp{};
    std::array<std::array<uint32_t, GFX_TSS_COUNT>, GFX_MAX_STAGES> tss{};
    std::array<std::array<float, 16>, GFX_TS_COUNT> xform{};
    GfxLight light{};
    int light_on = 0;
    GfxMaterial material{};
    std::array<std::array<float, 4>, GFX_MAX_CLIP_PLANES> clip_plane{};
    GfxViewport viewport{};
    GfxRect scissor{};
    std::array<GfxTexture*, GFX_MAX_STAGES> texture{};
    GfxShader* vs = nullptr;
    GfxShader* ps = nullptr;
    GfxVertexDecl* decl = nullptr;
    GfxVertexBuffer* stream_vb = nullptr;
    uint32_t stream_offset = 0, stream_stride = 0;
    GfxIndexBuffer* indices = nullptr;
    std::array<GfxSurface*, GFX_MAX_RENDER_TARGETS> target{};
    GfxSurface* depth = nullptr;
    int in_scene = 0;
    int lost = 0;  // 0 fine, 1 lost (tested once), 2 not reset
    uint64_t serial[4] = {1, 1, 1, 1};
    int fbo_dirty = 1;

    // objects the device owns
    GfxSurface* backbuffer = nullptr;
    GfxSurface* backbuffer_depth = nullptr;
    GfxTexture* white = nullptr;
    GLuint fbo = 0;  // the draw framebuffer (targets attached)
    GLuint resolve_fbo = 0, read_fbo = 0, blit_fbo = 0;
    GLuint pipeline = 0;
    std::array<GLuint, GFX_MAX_STAGES> sampler{};
    GfxStreamRing vring, iring;
    std::unordered_map<uint32_t, GfxVertexDecl*> fvf_decls;
    std::unordered_map<std::string, GfxShader*> ffp_programs;
    // last generated stages and the state serial they were chosen for
    uint64_t ffp_serial = 1;
    GfxShader* ffp_vs_last = nullptr;
    const GfxVertexDecl* ffp_vs_decl = nullptr;
    uint64_t ffp_vs_serial = 0;
    GfxShader* ffp_ps_last = nullptr;
    uint64_t ffp_ps_serial = 0;
    int live_textures = 0, live_buffers = 0, live_surfaces = 0;
    int general_stages = 0;   // white-box tests: draw through the general variants
    int separate_stages = 0;  // white-box tests: never draw through linked pairs
    std::unordered_map<uint64_t, std::unique_ptr<GfxStagePair>> pairs;
    // The last clear, while nothing has written the targets since: a clear
    // that repeats it exactly changes no pixel and is left out.
    struct {
        int valid = 0;
        uint32_t flags = 0, color = 0, stencil = 0;
        float z = 0;
        GfxRect rect{};
    } last_clear;
};

extern GfxDevice gfx_dev;

// True while a device exists: every call made without one fails cleanly.
inline bool gfx_usable(void) { return gfx_dev.ok != 0; }

// True while the device that made an object (generation `gen`) still lives:
// only then may its GL names be deleted. Objects released after their device
// is gone free their memory only.
inline bool gfx_live(uint32_t gen) { return gfx_dev.ok && gen == gfx_dev.generation; }

// ---------------------------------------------------------------------------
// Internal calls between the gfx files
// ---------------------------------------------------------------------------
inline bool gfx_same_rect(const GfxRect& a, const GfxRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
// A rectangle of at least one pixel within w x h.
inline bool gfx_rect_inside(const GfxRect& r, int w, int h)
{
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= w &&
           r.bottom <= h;
}

// gfx_state.cpp
void gfx_states_set_defaults(GfxDevice& d);  // Direct3D 9 defaults, every serial raised
void gfx_bump_serial(GfxUniformGroup g);

// gfx_gl_state.cpp: GL cache setters (each compares, calls GL when different, counts)
void gfx_gl_bind_draw_fbo(GLuint fbo);
void gfx_gl_bind_vao(GLuint vao);
void gfx_gl_use_stages(GLuint vs, GLuint fs);
void gfx_gl_bind_texture(int unit, GLuint tex);
void gfx_gl_viewport(const GfxRect& r);
void gfx_gl_scissor(int enable, const GfxRect& r);
void gfx_gl_color_mask(int mask);  // bit 0 R, 1 G, 2 B, 3 A
void gfx_gl_masks_for_clear(void);
void gfx_gl_apply_states(void);  // render and sampler states before a draw
void gfx_count_state(int n = 1);
// Something other than a clear wrote (or may have written) the targets.
inline void gfx_targets_written(void) { gfx_dev.last_clear.valid = 0; }

// gfx_tex.cpp
int gfx_tex_start(void);  // white texture, back buffer, FBO
void gfx_tex_stop(void);
int gfx_backbuffer_make(const GfxPresentParams& pp, int width, int height);
void gfx_backbuffer_free(void);
int gfx_tex_full_chain(int w, int h);  // levels down to 1x1
// A texture (null for arguments gfx_tex_create refuses), without a CPU copy when cpu_copy is 0; its
// levels are undefined until written (gfx_tex_create then clears them).
GfxTexture* gfx_tex_make(int width, int height, int levels, uint32_t usage, GfxFormat fmt,
                         GfxPool pool, int cpu_copy);
// Uploads rectangle `r` of a level from `rows`: the level's rows in Direct3D
// layout from row (block row for DXT) `row0` on; block formats upload whole
// rows of blocks.
void gfx_tex_upload_rows(GfxTexture* t, int level, const GfxRect& r, const uint8_t* rows, int row0);
// Uploads rectangle `r` of a level's CPU copy.
void gfx_tex_upload_level(GfxTexture* t, int level, const GfxRect& r);
// Reads rectangle `r` of a level of a sampled texture back from GL into
// `dst`, rows `pitch` bytes apart (a whole number of pixels), in the
// texture's own format. Block formats read the rect's rows of blocks across
// the whole level, packed.
void gfx_tex_read_rows(GfxTexture* t, int level, const GfxRect& r, uint8_t* dst, int pitch);
// Render targets live only in GL; sampled textures keep a CPU copy or not.
inline bool gfx_tex_is_render_target(const GfxTexture* t)
{
    return (t->usage & GFX_USAGE_RENDERTARGET) != 0;
}

// gfx_target.cpp
void gfx_bind_targets(void);    // attach the current targets to the FBO
GfxRect gfx_target_rect(void);  // (0,0,w,h) of colour target 0
// FBO holding the surface's pixels for reading (a multisampled surface is
// resolved first); its read buffer is set.
GLuint gfx_surface_read_fbo(GfxSurface* s);
// Reads rectangle r of a surface that GL holds (resolved first when
// multisampled) into dst, in the Direct3D layout of `fmt` (A8R8G8B8 reads
// B, G, R, A bytes), rows `pitch` bytes apart; a pitch that is not a whole
// number of pixels is read row by row. Block formats read nothing.
void gfx_surface_read_back(GfxSurface* s, const GfxRect& r, GfxFormat fmt, uint8_t* dst, int pitch);

// gfx_draw.cpp
int gfx_draw_start(void);
void gfx_draw_stop(void);

// gfx_shader.cpp
// Builds one separable stage from `body` (GLSL after the register rewrite)
// with the prelude before it and a main that calls `entry` and the
// epilogue. Generated (fixed-function) vertex stages write their own clip
// distances. Null on failure, with the log in `errors` when given.
GfxShader* gfx_shader_build(GfxShaderKind kind, const std::string& body, const char* entry,
                            int generated, char* errors, size_t errors_size);
void gfx_shader_destroy(GfxShader* sh);
void gfx_shader_stop_all(void);
// The variant of a stage that the current states need (GfxVariantBit
// mask); with gfx_dev.general_stages set, always the general one.
int gfx_shader_variant_key(GfxShaderKind kind, int pretransformed);
// The program of one variant, built on first use (the constants set so far
// carried over); null when it fails to build.
GfxStageProgram* gfx_shader_variant(GfxShader* sh, int key);
// The two variants linked as one program, built on first use; null when
// they cannot be linked (the draw then binds them as separate stages).
GfxStageProgram* gfx_shader_pair(GfxShader* vs, GfxStageProgram* vp, int vkey, GfxShader* ps,
                                 GfxStageProgram* pp, int pkey);

// gfx_layer_uniforms.cpp
// Finds the layer uniforms in a freshly built program (-1 where absent).
void gfx_shader_fill_layer_locations(GfxStageProgram& v);
// Uploads the layer uniforms of the groups whose states changed since this
// program last saw them.
void gfx_shader_upload_layer_uniforms(GfxStageProgram* p);

// gfx_ffp.cpp: generated stages for the fixed-function states, cached by key.
GfxShader* gfx_ffp_vertex_program(const GfxVertexDecl* decl);
GfxShader* gfx_ffp_pixel_program(void);
