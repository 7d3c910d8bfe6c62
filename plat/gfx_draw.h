// gfx_draw: vertex declarations, vertex and index buffers, and draws.
//
// What it provides: declarations from element lists or from this system's
// FVF codes, managed/default vertex and index buffers with lock and unlock
// kept in CPU copies, and the four Direct3D 9 draw calls. User-pointer draws
// are streamed through one persistent-mapped ring per kind (vertices and
// indices), so a draw costs one copy and one glDraw*.
//
// The FVF reading here is the system's own: XYZBk with LASTBETA_UBYTE4
// carries k weights plus the index word, and bit 0x80 means TANGENT then
// BINORMAL (24 bytes), not a specular colour.
//
// Declarations whose position is POSITIONT (XYZRHW) skip the vertex stage:
// x, y are target pixels (centres on integers), z is depth 0..1, rhw = 1/w.
#pragma once

#include "plat/gfx.h"

// ---------------------------------------------------------------------------
// FVF codes
// ---------------------------------------------------------------------------
constexpr uint32_t GFX_FVF_XYZ = 0x002;
constexpr uint32_t GFX_FVF_XYZRHW = 0x004;
constexpr uint32_t GFX_FVF_XYZB1 = 0x006;
constexpr uint32_t GFX_FVF_XYZB2 = 0x008;
constexpr uint32_t GFX_FVF_XYZB3 = 0x00A;
constexpr uint32_t GFX_FVF_XYZB4 = 0x00C;
constexpr uint32_t GFX_FVF_POSITION_MASK = 0x00E;
constexpr uint32_t GFX_FVF_NORMAL = 0x010;
constexpr uint32_t GFX_FVF_DIFFUSE = 0x040;
constexpr uint32_t GFX_FVF_TANGENTS = 0x080;  // tangent + binormal here
constexpr uint32_t GFX_FVF_TEXCOUNT_MASK = 0xF00;
constexpr int GFX_FVF_TEXCOUNT_SHIFT = 8;
constexpr uint32_t GFX_FVF_LASTBETA_UBYTE4 = 0x1000;
// Texture-coordinate size code of set i: bits 16 + 2i.
constexpr uint32_t GFX_FVF_TEXSIZE_2 = 0;
constexpr uint32_t GFX_FVF_TEXSIZE_3 = 1;
constexpr uint32_t GFX_FVF_TEXSIZE_4 = 2;
constexpr uint32_t GFX_FVF_TEXSIZE_1 = 3;
constexpr uint32_t gfx_fvf_texsize(uint32_t code, int set) { return code << (16 + 2 * set); }

// ---------------------------------------------------------------------------
// Vertex elements
// ---------------------------------------------------------------------------
enum GfxDeclType : uint8_t {
    GFX_DECLTYPE_FLOAT1 = 0,
    GFX_DECLTYPE_FLOAT2,
    GFX_DECLTYPE_FLOAT3,
    GFX_DECLTYPE_FLOAT4,
    GFX_DECLTYPE_D3DCOLOR,
    GFX_DECLTYPE_UBYTE4,
    GFX_DECLTYPE_UNUSED = 17,
};
enum GfxDeclUsage : uint8_t {
    GFX_DECLUSAGE_POSITION = 0,
    GFX_DECLUSAGE_BLENDWEIGHT,
    GFX_DECLUSAGE_BLENDINDICES,
    GFX_DECLUSAGE_NORMAL,
    GFX_DECLUSAGE_PSIZE,
    GFX_DECLUSAGE_TEXCOORD,
    GFX_DECLUSAGE_TANGENT,
    GFX_DECLUSAGE_BINORMAL,
    GFX_DECLUSAGE_TESSFACTOR,
    GFX_DECLUSAGE_POSITIONT,
    GFX_DECLUSAGE_COLOR,
};
constexpr uint8_t GFX_DECLMETHOD_DEFAULT = 0;

struct GfxVertexElement {
    uint16_t stream;  // 0 (0xFF ends the list)
    uint16_t offset;  // bytes from the vertex start
    uint8_t type;     // GfxDeclType
    uint8_t method;   // GFX_DECLMETHOD_DEFAULT
    uint8_t usage;    // GfxDeclUsage
    uint8_t usage_index;
};
constexpr GfxVertexElement GFX_DECL_END = {0xFF, 0, GFX_DECLTYPE_UNUSED, 0, 0, 0};
constexpr int GFX_MAX_VERTEX_ELEMENTS = 20;  // with the end marker

// Element list of an FVF code in this system's reading, ended by GFX_DECL_END.
// Returns the vertex size in bytes, or 0 for a code it cannot describe
// (no position, texture sets beyond 8).
int gfx_fvf_to_elements(uint32_t fvf, GfxVertexElement out[GFX_MAX_VERTEX_ELEMENTS]);
// Vertex size of a declaration list (highest offset + size), 0 when bad.
int gfx_elements_size(const GfxVertexElement* elements);

struct GfxVertexDecl;    // opaque
struct GfxVertexBuffer;  // opaque
struct GfxIndexBuffer;   // opaque

GfxVertexDecl* gfx_decl_create(const GfxVertexElement* elements);  // null on bad list
void gfx_decl_release(GfxVertexDecl* decl);
GfxHr gfx_set_vertex_decl(GfxVertexDecl* decl);
// Sets a declaration made from the FVF code (made once per code, kept).
GfxHr gfx_set_fvf(uint32_t fvf);

// ---------------------------------------------------------------------------
// Buffers (CPU copy + GL buffer; unlock uploads the locked range)
// ---------------------------------------------------------------------------
GfxVertexBuffer* gfx_vb_create(uint32_t bytes, uint32_t usage, uint32_t fvf, GfxPool pool);
void gfx_vb_release(GfxVertexBuffer* vb);
// offset/size 0/0 locks the whole buffer. Out: pointer into the CPU copy.
GfxHr gfx_vb_lock(GfxVertexBuffer* vb, uint32_t offset, uint32_t size, void** data, uint32_t flags);
GfxHr gfx_vb_unlock(GfxVertexBuffer* vb);
void gfx_vb_preload(GfxVertexBuffer* vb);
uint32_t gfx_vb_size(const GfxVertexBuffer* vb);

GfxIndexBuffer* gfx_ib_create(uint32_t bytes, uint32_t usage, GfxFormat fmt, GfxPool pool);
void gfx_ib_release(GfxIndexBuffer* ib);
GfxHr gfx_ib_lock(GfxIndexBuffer* ib, uint32_t offset, uint32_t size, void** data, uint32_t flags);
GfxHr gfx_ib_unlock(GfxIndexBuffer* ib);
void gfx_ib_preload(GfxIndexBuffer* ib);
uint32_t gfx_ib_size(const GfxIndexBuffer* ib);

GfxHr gfx_set_stream_source(int stream, GfxVertexBuffer* vb, uint32_t offset, uint32_t stride);
GfxHr gfx_set_indices(GfxIndexBuffer* ib);

// ---------------------------------------------------------------------------
// Draws. Counts are primitives. Every draw needs a declaration (or FVF).
// ---------------------------------------------------------------------------
enum GfxPrim : int {
    GFX_PT_POINTLIST = 1,
    GFX_PT_LINELIST,
    GFX_PT_LINESTRIP,
    GFX_PT_TRIANGLELIST,
    GFX_PT_TRIANGLESTRIP,
    GFX_PT_TRIANGLEFAN,
};
// Vertices or indices that `count` primitives of a type use (0 when bad).
uint32_t gfx_prim_vertex_count(GfxPrim type, uint32_t count);

GfxHr gfx_draw_primitive(GfxPrim type, uint32_t start_vertex, uint32_t count);
GfxHr gfx_draw_indexed_primitive(GfxPrim type, int32_t base_vertex, uint32_t min_index,
                                 uint32_t num_vertices, uint32_t start_index, uint32_t count);
// User-pointer draws copy the vertices (and indices) into the stream ring;
// one draw may carry up to 4 MiB of vertices. Draws are accepted inside or
// outside a scene; on a lost device they draw nothing and return GFX_OK.
// Index values outside the vertices handed over refuse the draw.
GfxHr gfx_draw_primitive_up(GfxPrim type, uint32_t count, const void* vertices, uint32_t stride);
// Indices are relative to `vertices`; min_index..min_index+num_vertices-1
// must hold every index used. index_fmt is GFX_FMT_INDEX16 or INDEX32.
GfxHr gfx_draw_indexed_primitive_up(GfxPrim type, uint32_t min_index, uint32_t num_vertices,
                                    uint32_t count, const void* indices, GfxFormat index_fmt,
                                    const void* vertices, uint32_t stride);
