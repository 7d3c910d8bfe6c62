// gfx_shader_const: a compiled stage's constant table (the registers GL
// reports as used, by name, index and handle) and the setters. Every write
// is cut to the constant's declared elements and goes to every variant and
// linked pair of the stage that has been built, so that all hold the same
// values.
//
// Sections: 1 table  2 setters
#include "plat/gfx_local.h"

#include <algorithm>

// ===========================================================================
// 1 Constant table
// ===========================================================================
namespace {
const GfxConstEntry* entry_of(const GfxShader* s, GfxConstHandle h)
{
    if (!s || h == 0 || h > s->constants.size()) return nullptr;
    return &s->constants[h - 1];
}
}  // namespace

GfxConstHandle gfx_const_by_name(const GfxShader* shader, const char* name)
{
    if (!shader || !name) return 0;
    for (size_t i = 0; i < shader->constants.size(); ++i)
        if (shader->constants[i].name == name) return i + 1;
    return 0;
}

int gfx_const_count(const GfxShader* shader)
{
    return shader ? static_cast<int>(shader->constants.size()) : 0;
}

GfxConstHandle gfx_const_by_index(const GfxShader* shader, int index)
{
    if (!shader || index < 0 || index >= gfx_const_count(shader)) return 0;
    return static_cast<GfxConstHandle>(index) + 1;
}

GfxHr gfx_const_desc(const GfxShader* shader, GfxConstHandle h, GfxConstDesc* out)
{
    const GfxConstEntry* e = entry_of(shader, h);
    if (!e || !out) return GFX_E_INVALIDCALL;
    out->name = e->name.c_str();
    out->type = e->type;
    out->count = e->count;
    out->sampler_stage = e->sampler_stage;
    return GFX_OK;
}

int gfx_const_sampler_stage(const GfxShader* shader, GfxConstHandle h)
{
    const GfxConstEntry* e = entry_of(shader, h);
    return e ? e->sampler_stage : -1;
}

// ===========================================================================
// 2 Setters. Every write is cut to the constant's declared elements.
// ===========================================================================
namespace {
int components(GfxConstType t)
{
    switch (t) {
    case GFX_CT_INT:
    case GFX_CT_FLOAT: return 1;
    case GFX_CT_INT2:
    case GFX_CT_FLOAT2: return 2;
    case GFX_CT_INT3:
    case GFX_CT_FLOAT3: return 3;
    case GFX_CT_INT4:
    case GFX_CT_FLOAT4: return 4;
    default: return 0;
    }
}
bool is_int(GfxConstType t) { return t >= GFX_CT_INT && t <= GFX_CT_INT4; }
bool is_vector(GfxConstType t) { return components(t) > 0; }

// Calls fn(program, location) for every built variant of the stage that
// uses the constant, so that all of them hold the same values.
template <typename Fn>
void for_each_variant(GfxShader* s, const GfxConstEntry& e, Fn fn)
{
    for (int k = 0; k < GFX_STAGE_VARIANTS; ++k)
        if (s->var[k].program && e.var_loc[k] >= 0) fn(s->var[k].program, e.var_loc[k]);
    if (!gfx_live(s->gen)) return;
    const size_t i = static_cast<size_t>(&e - s->constants.data());
    for (const GfxStagePair* p : s->pairs) {
        const GLint loc = p->loc[p->stage[0] == s ? 0 : 1][i];
        if (p->prog.program && loc >= 0) fn(p->prog.program, loc);
    }
}

// Writes `elements` values of `comps` components each (floats in, converted
// to ints for int constants). `values` holds elements x comps floats.
GfxHr write_vectors(GfxShader* s, const GfxConstEntry& e, const float* values, int elements)
{
    int comps = components(e.type);
    elements = std::min(elements, e.count);
    if (elements <= 0) return GFX_OK;
    GLsizei n = elements;
    std::vector<int> iv;
    if (is_int(e.type)) {
        iv.resize(static_cast<size_t>(elements) * comps);
        for (size_t i = 0; i < iv.size(); ++i) iv[i] = static_cast<int>(values[i]);
    }
    for_each_variant(s, e, [&](GLuint p, GLint loc) {
        if (is_int(e.type)) {
            switch (comps) {
            case 1: glProgramUniform1iv(p, loc, n, iv.data()); break;
            case 2: glProgramUniform2iv(p, loc, n, iv.data()); break;
            case 3: glProgramUniform3iv(p, loc, n, iv.data()); break;
            default: glProgramUniform4iv(p, loc, n, iv.data()); break;
            }
            return;
        }
        switch (comps) {
        case 1: glProgramUniform1fv(p, loc, n, values); break;
        case 2: glProgramUniform2fv(p, loc, n, values); break;
        case 3: glProgramUniform3fv(p, loc, n, values); break;
        default: glProgramUniform4fv(p, loc, n, values); break;
        }
    });
    return GFX_OK;
}

// Packs a flat list of scalars into whole elements (the last one zero-padded).
GfxHr write_scalars(GfxShader* s, GfxConstHandle h, const float* v, int count)
{
    const GfxConstEntry* e = entry_of(s, h);
    if (!e || !v || count < 0 || !is_vector(e->type)) return GFX_E_INVALIDCALL;
    int comps = components(e->type);
    int total = std::min(count, comps * e->count);
    int elements = (total + comps - 1) / comps;
    std::vector<float> buf(static_cast<size_t>(elements) * comps, 0.0f);
    std::copy(v, v + total, buf.begin());
    return write_vectors(s, *e, buf.data(), elements);
}

// Four-float vectors cut to the constant's width.
GfxHr write_vec4s(GfxShader* s, GfxConstHandle h, const float* v4, int count)
{
    const GfxConstEntry* e = entry_of(s, h);
    if (!e || !v4 || count < 0 || !is_vector(e->type)) return GFX_E_INVALIDCALL;
    int comps = components(e->type);
    int elements = std::min(count, e->count);
    std::vector<float> buf(static_cast<size_t>(elements) * comps);
    for (int i = 0; i < elements; ++i)
        for (int c = 0; c < comps; ++c) buf[static_cast<size_t>(i) * comps + c] = v4[i * 4 + c];
    return write_vectors(s, *e, buf.data(), elements);
}
}  // namespace

GfxHr gfx_const_set_int(GfxShader* s, GfxConstHandle h, int v)
{
    float f = static_cast<float>(v);
    return write_scalars(s, h, &f, 1);
}

GfxHr gfx_const_set_ints(GfxShader* s, GfxConstHandle h, const int* v, int count)
{
    if (!v || count < 0) return GFX_E_INVALIDCALL;
    std::vector<float> f(v, v + count);
    return write_scalars(s, h, f.data(), count);
}

GfxHr gfx_const_set_float(GfxShader* s, GfxConstHandle h, float v)
{
    return write_scalars(s, h, &v, 1);
}

GfxHr gfx_const_set_floats(GfxShader* s, GfxConstHandle h, const float* v, int count)
{
    return write_scalars(s, h, v, count);
}

GfxHr gfx_const_set_vector(GfxShader* s, GfxConstHandle h, const float v[4])
{
    return write_vec4s(s, h, v, 1);
}

GfxHr gfx_const_set_vectors(GfxShader* s, GfxConstHandle h, const float* v4, int count)
{
    return write_vec4s(s, h, v4, count);
}

namespace {
// The first `rows` rows of `n` 4x4 matrices, three columns of each row.
std::vector<float> first_three_columns(const float* m16, int n, int rows)
{
    std::vector<float> out(static_cast<size_t>(n) * static_cast<size_t>(rows) * 3);
    size_t k = 0;
    for (int i = 0; i < n; ++i)
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 3; ++c) out[k++] = m16[i * 16 + r * 4 + c];
    return out;
}
}  // namespace

GfxHr gfx_const_set_matrices(GfxShader* s, GfxConstHandle h, const float* m16, int count)
{
    const GfxConstEntry* e = entry_of(s, h);
    if (!e || !m16 || count < 0) return GFX_E_INVALIDCALL;
    int n = std::min(count, e->count);
    if (n <= 0) return GFX_OK;
    // Uploaded with transpose so that GLSL `p * M` is the row-vector product.
    switch (e->type) {
    case GFX_CT_FLOAT4X4:
        for_each_variant(s, *e, [&](GLuint p, GLint loc) {
            glProgramUniformMatrix4fv(p, loc, n, GL_TRUE, m16);
        });
        return GFX_OK;
    case GFX_CT_FLOAT4X3: {  // four rows of three
        std::vector<float> rows = first_three_columns(m16, n, 4);
        for_each_variant(s, *e, [&](GLuint p, GLint loc) {
            glProgramUniformMatrix3x4fv(p, loc, n, GL_TRUE, rows.data());
        });
        return GFX_OK;
    }
    case GFX_CT_FLOAT3X3: {
        std::vector<float> rows = first_three_columns(m16, n, 3);
        for_each_variant(s, *e, [&](GLuint p, GLint loc) {
            glProgramUniformMatrix3fv(p, loc, n, GL_TRUE, rows.data());
        });
        return GFX_OK;
    }
    default: return GFX_E_INVALIDCALL;
    }
}

GfxHr gfx_const_set_matrix(GfxShader* s, GfxConstHandle h, const float m[16])
{
    return gfx_const_set_matrices(s, h, m, 1);
}
