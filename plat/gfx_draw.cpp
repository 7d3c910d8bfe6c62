// gfx_draw: declarations (one vertex array object each, formats fixed at
// creation), vertex and index buffers with CPU copies, the stream rings of
// the user-pointer draws, and the draw calls themselves.
//
// Stream rings: one persistent, coherent mapping per ring, split in four
// quarters with a fence each; a quarter is waited for only when the writer
// comes back to it a lap later, so the CPU never stalls on a draw it has
// just issued. A draw larger than a quarter goes through an orphaned buffer.
//
// Sections: 1 FVF and declarations  2 buffers  3 stream rings
//           4 draw preparation  5 draws
#include "plat/gfx_local.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr uint32_t GFX_VERTEX_RING_BYTES = 16u << 20;
constexpr uint32_t GFX_INDEX_RING_BYTES = 4u << 20;
}  // namespace

// ===========================================================================
// 1 FVF and declarations
// ===========================================================================
namespace {
int decl_type_size(uint8_t t)
{
    switch (t) {
    case GFX_DECLTYPE_FLOAT1: return 4;
    case GFX_DECLTYPE_FLOAT2: return 8;
    case GFX_DECLTYPE_FLOAT3: return 12;
    case GFX_DECLTYPE_FLOAT4: return 16;
    case GFX_DECLTYPE_D3DCOLOR: return 4;
    case GFX_DECLTYPE_UBYTE4: return 4;
    default: return 0;
    }
}

// Attribute location of a usage, -1 for usages no stage reads.
int attr_location(uint8_t usage, uint8_t index)
{
    switch (usage) {
    case GFX_DECLUSAGE_POSITION:
    case GFX_DECLUSAGE_POSITIONT: return index == 0 ? GFX_ATTR_POSITION : -1;
    case GFX_DECLUSAGE_BLENDWEIGHT: return index == 0 ? GFX_ATTR_BLENDWEIGHT : -1;
    case GFX_DECLUSAGE_BLENDINDICES: return index == 0 ? GFX_ATTR_BLENDINDICES : -1;
    case GFX_DECLUSAGE_NORMAL: return index == 0 ? GFX_ATTR_NORMAL : -1;
    case GFX_DECLUSAGE_COLOR: return index == 0 ? GFX_ATTR_COLOR0 : -1;
    case GFX_DECLUSAGE_TEXCOORD: return index < 8 ? GFX_ATTR_TEXCOORD0 + index : -1;
    case GFX_DECLUSAGE_TANGENT: return index == 0 ? GFX_ATTR_TANGENT : -1;
    case GFX_DECLUSAGE_BINORMAL: return index == 0 ? GFX_ATTR_BINORMAL : -1;
    default: return -1;
    }
}

void push(GfxVertexElement* out, int& n, int& off, uint8_t type, uint8_t usage, uint8_t index)
{
    out[n++] = {0, static_cast<uint16_t>(off), type, GFX_DECLMETHOD_DEFAULT, usage, index};
    off += decl_type_size(type);
}

uint8_t float_type(int components)
{
    return static_cast<uint8_t>(GFX_DECLTYPE_FLOAT1 + (components - 1));
}
}  // namespace

int gfx_fvf_to_elements(uint32_t fvf, GfxVertexElement out[GFX_MAX_VERTEX_ELEMENTS])
{
    if (!out) return 0;
    int n = 0, off = 0;
    uint32_t pos = fvf & GFX_FVF_POSITION_MASK;
    if (pos == GFX_FVF_XYZ) {
        push(out, n, off, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0);
    } else if (pos == GFX_FVF_XYZRHW) {
        push(out, n, off, GFX_DECLTYPE_FLOAT4, GFX_DECLUSAGE_POSITIONT, 0);
    } else if (pos >= GFX_FVF_XYZB1 && pos <= GFX_FVF_XYZB4) {
        int k = static_cast<int>((pos - GFX_FVF_XYZB1) / 2 + 1);  // 1..4 weights
        push(out, n, off, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_POSITION, 0);
        push(out, n, off, float_type(k), GFX_DECLUSAGE_BLENDWEIGHT, 0);
        if (fvf & GFX_FVF_LASTBETA_UBYTE4)
            push(out, n, off, GFX_DECLTYPE_UBYTE4, GFX_DECLUSAGE_BLENDINDICES, 0);
    } else {
        out[0] = GFX_DECL_END;
        return 0;
    }
    if (fvf & GFX_FVF_NORMAL) push(out, n, off, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_NORMAL, 0);
    if (fvf & 0x020) push(out, n, off, GFX_DECLTYPE_FLOAT1, GFX_DECLUSAGE_PSIZE, 0);
    if (fvf & GFX_FVF_DIFFUSE) push(out, n, off, GFX_DECLTYPE_D3DCOLOR, GFX_DECLUSAGE_COLOR, 0);
    int sets = static_cast<int>((fvf & GFX_FVF_TEXCOUNT_MASK) >> GFX_FVF_TEXCOUNT_SHIFT);
    if (sets > 8) {
        out[0] = GFX_DECL_END;
        return 0;
    }
    for (int s = 0; s < sets; ++s) {
        static const int comps[4] = {2, 3, 4, 1};
        int code = static_cast<int>((fvf >> (16 + 2 * s)) & 3);
        push(out, n, off, float_type(comps[code]), GFX_DECLUSAGE_TEXCOORD, static_cast<uint8_t>(s));
    }
    if (fvf & GFX_FVF_TANGENTS) {
        push(out, n, off, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_TANGENT, 0);
        push(out, n, off, GFX_DECLTYPE_FLOAT3, GFX_DECLUSAGE_BINORMAL, 0);
    }
    out[n] = GFX_DECL_END;
    return off;
}

int gfx_elements_size(const GfxVertexElement* e)
{
    if (!e) return 0;
    int size = 0;
    for (int i = 0; i < GFX_MAX_VERTEX_ELEMENTS; ++i) {
        if (e[i].stream == 0xFF) return size;
        int s = decl_type_size(e[i].type);
        if (!s || e[i].stream != 0) return 0;
        size = std::max(size, e[i].offset + s);
    }
    return 0;  // no end marker
}

GfxVertexDecl* gfx_decl_create(const GfxVertexElement* elements)
{
    if (!gfx_usable()) return nullptr;
    int size = gfx_elements_size(elements);
    if (size <= 0) return nullptr;
    auto* d = new GfxVertexDecl;
    d->gen = gfx_dev.generation;
    d->size = size;
    glCreateVertexArrays(1, &d->vao);
    for (int i = 0; elements[i].stream != 0xFF; ++i) {
        const GfxVertexElement& e = elements[i];
        d->elements.push_back(e);
        if (e.usage == GFX_DECLUSAGE_POSITIONT) d->pretransformed = 1;
        if (e.usage == GFX_DECLUSAGE_TEXCOORD)
            d->tex_sets = std::max(d->tex_sets, e.usage_index + 1);
        int loc = attr_location(e.usage, e.usage_index);
        if (loc < 0 || (d->attr_mask & (1u << loc))) continue;
        d->attr_mask |= 1u << loc;
        GLuint l = static_cast<GLuint>(loc);
        glEnableVertexArrayAttrib(d->vao, l);
        if (e.type == GFX_DECLTYPE_D3DCOLOR)
            glVertexArrayAttribFormat(d->vao, l, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, e.offset);
        else if (e.type == GFX_DECLTYPE_UBYTE4)
            glVertexArrayAttribFormat(d->vao, l, 4, GL_UNSIGNED_BYTE, GL_FALSE, e.offset);
        else
            glVertexArrayAttribFormat(d->vao, l, e.type - GFX_DECLTYPE_FLOAT1 + 1, GL_FLOAT,
                                      GL_FALSE, e.offset);
        glVertexArrayAttribBinding(d->vao, l, 0);
    }
    return d;
}

void gfx_decl_release(GfxVertexDecl* decl)
{
    if (!decl) return;
    if (!gfx_live(decl->gen)) {
        delete decl;
        return;
    }
    for (auto& kv : gfx_dev.fvf_decls)
        if (kv.second == decl) return;  // the layer's own FVF declarations stay
    if (gfx_dev.decl == decl) gfx_dev.decl = nullptr;
    if (gfx_dev.ffp_vs_decl == decl) gfx_dev.ffp_vs_decl = nullptr, gfx_dev.ffp_vs_last = nullptr;
    if (gfx_dev.gl.vao == decl->vao) gfx_dev.gl.vao = 0xFFFFFFFFu;
    glDeleteVertexArrays(1, &decl->vao);
    delete decl;
}

GfxHr gfx_set_vertex_decl(GfxVertexDecl* decl)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    gfx_dev.decl = decl;
    return GFX_OK;
}

GfxHr gfx_set_fvf(uint32_t fvf)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    auto it = gfx_dev.fvf_decls.find(fvf);
    if (it == gfx_dev.fvf_decls.end()) {
        GfxVertexElement e[GFX_MAX_VERTEX_ELEMENTS];
        if (!gfx_fvf_to_elements(fvf, e)) return GFX_E_INVALIDCALL;
        GfxVertexDecl* d = gfx_decl_create(e);
        if (!d) return GFX_E_INVALIDCALL;
        it = gfx_dev.fvf_decls.emplace(fvf, d).first;
    }
    gfx_dev.decl = it->second;
    return GFX_OK;
}

// ===========================================================================
// 2 Buffers
// ===========================================================================
namespace {
template <typename B>
B* buffer_create(uint32_t bytes, uint32_t usage, GfxPool pool)
{
    if (!gfx_usable() || bytes == 0 || bytes > (1u << 30)) return nullptr;
    auto* b = new B;
    b->gen = gfx_dev.generation;
    b->usage = usage, b->pool = pool;
    b->copy.assign(bytes, 0);
    glCreateBuffers(1, &b->buf);
    glNamedBufferStorage(b->buf, bytes, b->copy.data(), GL_DYNAMIC_STORAGE_BIT);
    gfx_dev.live_buffers++;
    return b;
}

// Unbinds a buffer wherever the device holds it, then frees it.
template <typename B>
void buffer_release(B* b, B*& bound, GLuint GfxVertexDecl::*slot)
{
    if (!b) return;
    if (bound == b) bound = nullptr;
    if (gfx_live(b->gen)) {
        for (auto& kv : gfx_dev.fvf_decls)
            if (kv.second->*slot == b->buf) kv.second->*slot = 0xFFFFFFFFu;
        glDeleteBuffers(1, &b->buf);
        gfx_dev.live_buffers--;
    }
    delete b;
}

GfxHr buffer_lock(GfxBuffer* b, uint32_t offset, uint32_t size, void** data, uint32_t flags)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!b || !data || b->locked) return GFX_E_INVALIDCALL;
    uint32_t total = static_cast<uint32_t>(b->copy.size());
    if (offset == 0 && size == 0) size = total;
    if (offset > total || size > total - offset) return GFX_E_INVALIDCALL;
    b->locked = 1, b->lock_offset = offset, b->lock_size = size, b->lock_flags = flags;
    *data = b->copy.data() + offset;
    return GFX_OK;
}

GfxHr buffer_unlock(GfxBuffer* b)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!b || !b->locked) return GFX_E_INVALIDCALL;
    b->locked = 0;
    if ((b->lock_flags & GFX_LOCK_READONLY) || b->lock_size == 0) return GFX_OK;
    glNamedBufferSubData(b->buf, b->lock_offset, b->lock_size, b->copy.data() + b->lock_offset);
    gfx_dev.counters.buffer_uploads++;
    gfx_dev.counters.upload_bytes += b->lock_size;
    return GFX_OK;
}
}  // namespace

GfxVertexBuffer* gfx_vb_create(uint32_t bytes, uint32_t usage, uint32_t fvf, GfxPool pool)
{
    GfxVertexBuffer* vb = buffer_create<GfxVertexBuffer>(bytes, usage, pool);
    if (vb) vb->fvf = fvf;
    return vb;
}

void gfx_vb_release(GfxVertexBuffer* vb)
{
    buffer_release(vb, gfx_dev.stream_vb, &GfxVertexDecl::bound_buffer);
}

GfxHr gfx_vb_lock(GfxVertexBuffer* vb, uint32_t offset, uint32_t size, void** data, uint32_t flags)
{
    return buffer_lock(vb, offset, size, data, flags);
}
GfxHr gfx_vb_unlock(GfxVertexBuffer* vb) { return buffer_unlock(vb); }
void gfx_vb_preload(GfxVertexBuffer* vb) { (void)vb; }
uint32_t gfx_vb_size(const GfxVertexBuffer* vb)
{
    return vb ? static_cast<uint32_t>(vb->copy.size()) : 0;
}

GfxIndexBuffer* gfx_ib_create(uint32_t bytes, uint32_t usage, GfxFormat fmt, GfxPool pool)
{
    if (fmt != GFX_FMT_INDEX16 && fmt != GFX_FMT_INDEX32) return nullptr;
    GfxIndexBuffer* ib = buffer_create<GfxIndexBuffer>(bytes, usage, pool);
    if (ib) ib->fmt = fmt;
    return ib;
}

void gfx_ib_release(GfxIndexBuffer* ib)
{
    buffer_release(ib, gfx_dev.indices, &GfxVertexDecl::bound_elements);
}

GfxHr gfx_ib_lock(GfxIndexBuffer* ib, uint32_t offset, uint32_t size, void** data, uint32_t flags)
{
    return buffer_lock(ib, offset, size, data, flags);
}
GfxHr gfx_ib_unlock(GfxIndexBuffer* ib)
{
    if (ib && ib->locked && !(ib->lock_flags & GFX_LOCK_READONLY)) ib->version++;
    return buffer_unlock(ib);
}
void gfx_ib_preload(GfxIndexBuffer* ib) { (void)ib; }
uint32_t gfx_ib_size(const GfxIndexBuffer* ib)
{
    return ib ? static_cast<uint32_t>(ib->copy.size()) : 0;
}

GfxHr gfx_set_stream_source(int stream, GfxVertexBuffer* vb, uint32_t offset, uint32_t stride)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (stream != 0 || (vb && (stride == 0 || offset >= vb->copy.size()))) return GFX_E_INVALIDCALL;
    gfx_dev.stream_vb = vb;
    gfx_dev.stream_offset = offset;
    gfx_dev.stream_stride = stride;
    return GFX_OK;
}

GfxHr gfx_set_indices(GfxIndexBuffer* ib)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    gfx_dev.indices = ib;
    return GFX_OK;
}

// ===========================================================================
// 3 Stream rings
// ===========================================================================
namespace {
bool ring_make(GfxStreamRing& r, uint32_t bytes)
{
    r = GfxStreamRing{};
    const GLbitfield f = GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
    glCreateBuffers(1, &r.buf);
    glNamedBufferStorage(r.buf, bytes, nullptr, f);
    r.map = static_cast<uint8_t*>(glMapNamedBufferRange(r.buf, 0, bytes, f));
    r.size = bytes;
    return r.map != nullptr;
}

void ring_free(GfxStreamRing& r)
{
    for (auto& s : r.fence)
        if (s) glDeleteSync(s), s = nullptr;
    if (r.buf) {
        if (r.map) glUnmapNamedBuffer(r.buf);
        glDeleteBuffers(1, &r.buf);
    }
    r = GfxStreamRing{};
}

void ring_enter_quarter(GfxStreamRing& r, int from, int to)
{
    if (r.fence[from]) glDeleteSync(r.fence[from]);
    r.fence[from] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    if (GLsync s = r.fence[to]) {
        while (glClientWaitSync(s, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000ull) ==
               GL_TIMEOUT_EXPIRED) {}
        glDeleteSync(s);
        r.fence[to] = nullptr;
    }
}

// Space for `bytes` at an offset that is a multiple of `align`; the offset,
// or UINT32_MAX when the request is larger than a quarter.
uint32_t ring_alloc(GfxStreamRing& r, uint32_t bytes, uint32_t align)
{
    uint32_t quarter = r.size / 4;
    if (bytes > quarter) return UINT32_MAX;
    uint32_t off = (r.head + align - 1) / align * align;
    if (off + bytes > r.size) {
        ring_enter_quarter(r, r.quarter, 0);
        r.quarter = 0;
        off = 0;
    }
    // Every quarter the new bytes reach must be free of earlier draws.
    int last = static_cast<int>((off + bytes - 1) / quarter);
    while (r.quarter < last) {
        ring_enter_quarter(r, r.quarter, r.quarter + 1);
        r.quarter++;
    }
    r.head = off + bytes;
    return off;
}
}  // namespace

int gfx_draw_start(void)
{
    GfxDevice& d = gfx_dev;
    return ring_make(d.vring, GFX_VERTEX_RING_BYTES) && ring_make(d.iring, GFX_INDEX_RING_BYTES);
}

void gfx_draw_stop(void)
{
    GfxDevice& d = gfx_dev;
    ring_free(d.vring);
    ring_free(d.iring);
    for (auto& kv : d.fvf_decls) {
        glDeleteVertexArrays(1, &kv.second->vao);
        delete kv.second;
    }
    d.fvf_decls.clear();
}

// ===========================================================================
// 4 Draw preparation
// ===========================================================================
namespace {
GLenum gl_mode(GfxPrim t)
{
    switch (t) {
    case GFX_PT_POINTLIST: return GL_POINTS;
    case GFX_PT_LINELIST: return GL_LINES;
    case GFX_PT_LINESTRIP: return GL_LINE_STRIP;
    case GFX_PT_TRIANGLELIST: return GL_TRIANGLES;
    case GFX_PT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    default: return GL_TRIANGLE_FAN;
    }
}

// States, programs and the declaration's vertex array, ready for a draw.
GfxHr prepare(GfxVertexDecl*& decl_out)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    gfx_targets_written();
    if (d.lost) return GFX_OK;  // a lost device draws nothing and reports nothing
    GfxVertexDecl* decl = d.decl;
    if (!decl) return GFX_E_INVALIDCALL;
    gfx_gl_apply_states();
    GfxShader* vs = (decl->pretransformed || !d.vs) ? gfx_ffp_vertex_program(decl) : d.vs;
    GfxShader* ps = d.ps ? d.ps : gfx_ffp_pixel_program();
    if (!vs || !ps) return GFX_E_FAIL;
    const int vkey = gfx_shader_variant_key(vs->kind, decl->pretransformed);
    const int pkey = gfx_shader_variant_key(GFX_SHADER_PIXEL, 0);
    GfxStageProgram* vp = gfx_shader_variant(vs, vkey);
    GfxStageProgram* pp = gfx_shader_variant(ps, pkey);
    if (!vp || !pp) return GFX_E_FAIL;
    if (GfxStageProgram* both = gfx_shader_pair(vs, vp, vkey, ps, pp, pkey)) {
        gfx_shader_upload_layer_uniforms(both);
        gfx_gl_use_stages(both->program, both->program);
    } else {
        gfx_shader_upload_layer_uniforms(vp);
        gfx_shader_upload_layer_uniforms(pp);
        gfx_gl_use_stages(vp->program, pp->program);
    }
    gfx_gl_bind_vao(decl->vao);
    decl_out = decl;
    return GFX_OK;
}

void bind_vertices(GfxVertexDecl* decl, GLuint buf, GLintptr offset, GLsizei stride)
{
    if (decl->bound_buffer == buf && decl->bound_offset == offset && decl->bound_stride == stride)
        return;
    decl->bound_buffer = buf, decl->bound_offset = offset, decl->bound_stride = stride;
    glVertexArrayVertexBuffer(decl->vao, 0, buf, offset, stride);
    gfx_count_state();
}

void bind_elements(GfxVertexDecl* decl, GLuint buf)
{
    if (decl->bound_elements == buf) return;
    decl->bound_elements = buf;
    glVertexArrayElementBuffer(decl->vao, buf);
    gfx_count_state();
}

// Copies user vertices into the ring (or an orphaned buffer when too big);
// out: buffer and the index of the first vertex in it.
bool stream_vertices(GfxVertexDecl* decl, const void* src, uint64_t count, uint32_t stride,
                     GLint* first)
{
    GfxDevice& d = gfx_dev;
    if (count * stride > d.vring.size / 4) return false;  // also keeps the product in range
    auto bytes = static_cast<uint32_t>(count * stride);
    uint32_t off = ring_alloc(d.vring, bytes, stride);
    d.counters.buffer_uploads++;
    d.counters.upload_bytes += bytes;
    if (off == UINT32_MAX) return false;
    std::memcpy(d.vring.map + off, src, bytes);
    bind_vertices(decl, d.vring.buf, 0, static_cast<GLsizei>(stride));
    *first = static_cast<GLint>(off / stride);
    return true;
}

// Smallest and largest of n > 0 indices, in one pass without early exit
// (the compiler turns it into vector code).
template <typename I>
void index_bounds(const I* idx, uint32_t n, uint32_t* lo, uint32_t* hi)
{
    I mn = idx[0], mx = idx[0];
    for (uint32_t i = 1; i < n; ++i) {
        mn = idx[i] < mn ? idx[i] : mn;
        mx = idx[i] > mx ? idx[i] : mx;
    }
    *lo = mn, *hi = mx;
}

bool indices_in_range(const void* idx, uint32_t isize, uint32_t n, uint32_t lo, uint32_t count)
{
    uint32_t mn = 0, mx = 0;
    if (isize == 2)
        index_bounds(static_cast<const uint16_t*>(idx), n, &mn, &mx);
    else
        index_bounds(static_cast<const uint32_t*>(idx), n, &mn, &mx);
    return mn >= lo && mx - lo < count;
}

// Largest index of `n` indices from `start` of an index buffer, remembered
// per contents version, start and count.
uint32_t index_buffer_max(GfxIndexBuffer* ib, uint32_t isize, uint32_t start, uint32_t n)
{
    GfxIndexMemo& m = ib->memo[(start * 31u + n) % ib->memo.size()];
    if (m.version == ib->version && m.start == start && m.count == n && !ib->locked) return m.max;
    const uint8_t* ip = ib->copy.data() + static_cast<size_t>(start) * isize;
    uint32_t mn = 0, mx = 0;
    if (isize == 2)
        index_bounds(reinterpret_cast<const uint16_t*>(ip), n, &mn, &mx);
    else
        index_bounds(reinterpret_cast<const uint32_t*>(ip), n, &mn, &mx);
    m = {ib->version, start, n, mx};
    return mx;
}
}  // namespace

uint32_t gfx_prim_vertex_count(GfxPrim type, uint32_t count)
{
    if (count == 0) return 0;
    switch (type) {
    case GFX_PT_POINTLIST: return count;
    case GFX_PT_LINELIST: return count * 2;
    case GFX_PT_LINESTRIP: return count + 1;
    case GFX_PT_TRIANGLELIST: return count * 3;
    case GFX_PT_TRIANGLESTRIP:
    case GFX_PT_TRIANGLEFAN: return count + 2;
    default: return 0;
    }
}

// ===========================================================================
// 5 Draws
// ===========================================================================
GfxHr gfx_draw_primitive_up(GfxPrim type, uint32_t count, const void* vertices, uint32_t stride)
{
    uint32_t n = gfx_prim_vertex_count(type, count);
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!n || !vertices || stride == 0 || n > (1u << 24)) return GFX_E_INVALIDCALL;
    GfxVertexDecl* decl = nullptr;
    GfxHr hr = prepare(decl);
    if (!gfx_ok(hr) || !decl) return hr;
    GLint first = 0;
    if (!stream_vertices(decl, vertices, n, stride, &first)) return GFX_E_INVALIDCALL;
    glDrawArrays(gl_mode(type), first, static_cast<GLsizei>(n));
    gfx_dev.counters.draw_calls++;
    return GFX_OK;
}

GfxHr gfx_draw_indexed_primitive_up(GfxPrim type, uint32_t min_index, uint32_t num_vertices,
                                    uint32_t count, const void* indices, GfxFormat index_fmt,
                                    const void* vertices, uint32_t stride)
{
    GfxDevice& d = gfx_dev;
    uint32_t n = gfx_prim_vertex_count(type, count);
    if (!gfx_usable()) return GFX_E_NODEVICE;
    uint32_t isize = index_fmt == GFX_FMT_INDEX16 ? 2 : index_fmt == GFX_FMT_INDEX32 ? 4 : 0;
    if (!n || !indices || !vertices || !isize || stride == 0 || num_vertices == 0 ||
        n > (1u << 24) || num_vertices > (1u << 24))
        return GFX_E_INVALIDCALL;
    // Every index must name one of the vertices handed over.
    if (!indices_in_range(indices, isize, n, min_index, num_vertices)) return GFX_E_INVALIDCALL;
    GfxVertexDecl* decl = nullptr;
    GfxHr hr = prepare(decl);
    if (!gfx_ok(hr) || !decl) return hr;
    GLint first = 0;
    const auto* vsrc =
        static_cast<const uint8_t*>(vertices) + static_cast<size_t>(min_index) * stride;
    if (!stream_vertices(decl, vsrc, num_vertices, stride, &first)) return GFX_E_INVALIDCALL;
    uint32_t ioff = ring_alloc(d.iring, n * isize, 4);
    if (ioff == UINT32_MAX) return GFX_E_INVALIDCALL;
    std::memcpy(d.iring.map + ioff, indices, n * isize);
    d.counters.buffer_uploads++;
    d.counters.upload_bytes += n * isize;
    bind_elements(decl, d.iring.buf);
    glDrawElementsBaseVertex(gl_mode(type), static_cast<GLsizei>(n),
                             isize == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT,
                             reinterpret_cast<const void*>(static_cast<uintptr_t>(ioff)),
                             first - static_cast<GLint>(min_index));
    d.counters.draw_calls++;
    return GFX_OK;
}

GfxHr gfx_draw_primitive(GfxPrim type, uint32_t start_vertex, uint32_t count)
{
    GfxDevice& d = gfx_dev;
    uint32_t n = gfx_prim_vertex_count(type, count);
    if (!gfx_usable()) return GFX_E_NODEVICE;
    GfxVertexBuffer* vb = d.stream_vb;
    if (!n || !vb) return GFX_E_INVALIDCALL;
    uint64_t avail = (vb->copy.size() - d.stream_offset) / d.stream_stride;
    if (static_cast<uint64_t>(start_vertex) + n > avail) return GFX_E_INVALIDCALL;
    GfxVertexDecl* decl = nullptr;
    GfxHr hr = prepare(decl);
    if (!gfx_ok(hr) || !decl) return hr;
    bind_vertices(decl, vb->buf, d.stream_offset, static_cast<GLsizei>(d.stream_stride));
    glDrawArrays(gl_mode(type), static_cast<GLint>(start_vertex), static_cast<GLsizei>(n));
    d.counters.draw_calls++;
    return GFX_OK;
}

GfxHr gfx_draw_indexed_primitive(GfxPrim type, int32_t base_vertex, uint32_t min_index,
                                 uint32_t num_vertices, uint32_t start_index, uint32_t count)
{
    GfxDevice& d = gfx_dev;
    uint32_t n = gfx_prim_vertex_count(type, count);
    if (!gfx_usable()) return GFX_E_NODEVICE;
    GfxVertexBuffer* vb = d.stream_vb;
    GfxIndexBuffer* ib = d.indices;
    if (!n || !vb || !ib || base_vertex < 0) return GFX_E_INVALIDCALL;
    uint32_t isize = ib->fmt == GFX_FMT_INDEX16 ? 2 : 4;
    if (static_cast<uint64_t>(start_index) + n > ib->copy.size() / isize) return GFX_E_INVALIDCALL;
    // Index values are checked against the vertices the stream holds.
    // The bound (base vertex and stream) changes per draw, the largest index
    // only with the buffer's contents.
    uint64_t avail = (vb->copy.size() - d.stream_offset) / d.stream_stride;
    uint64_t base = static_cast<uint64_t>(base_vertex);
    (void)min_index, (void)num_vertices;
    if (base + index_buffer_max(ib, isize, start_index, n) >= avail) return GFX_E_INVALIDCALL;
    GfxVertexDecl* decl = nullptr;
    GfxHr hr = prepare(decl);
    if (!gfx_ok(hr) || !decl) return hr;
    bind_vertices(decl, vb->buf, d.stream_offset, static_cast<GLsizei>(d.stream_stride));
    bind_elements(decl, ib->buf);
    glDrawElementsBaseVertex(
        gl_mode(type), static_cast<GLsizei>(n), isize == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT,
        reinterpret_cast<const void*>(static_cast<uintptr_t>(start_index) * isize), base_vertex);
    d.counters.draw_calls++;
    return GFX_OK;
}
