// obj3d/obj3d_fields: the setter families that the five 3D object types share.
// Every type's work holds a shader set, a material-is-default flag, a
// shader-parameter block, a material, a shader scalar, a draw-parameter word
// and a light mask under the same field names; these templates edit them and
// the macros below spell out each type's named operations over its own work
// accessor (a function that answers null for an object of another type).
#pragma once

#include <cstdint>

#include "disp/rstate.h"
#include "disp/shader.h"
#include "obj3d/obj3d.h"

template <class W>
DrawParam obj3d_fields_set_dp(W* w, int shift, int bits, uint32_t v)
{
    if (!w) return 0;
    w->dp = obj3d_dp_put(w->dp, shift, bits, v);
    return w->dp;
}

template <class W, class Edit>
int obj3d_fields_edit_material(W* w, Edit edit)
{
    if (!w) return 0;
    edit(w->material);
    w->material_default = uint16_t(material_is_default(&w->material));
    return w->material_default;
}

template <class W>
int obj3d_fields_set_param(W* w, const char* name, const void* v, int count, int size)
{
    if (!w || !v || count <= 0) return 0;
    return shader_set_param(w->params, w->shader_set, name, v, count * size);
}

template <class W>
void obj3d_fields_init(W* w)
{
    w->material_default = 1;
    w->material = OBJ3D_MATERIAL_DEFAULT;
    w->shader_scalar = 1.0f;
    w->dp = draw_param_init(0);
    w->light_mask = 0xFFFFFFFFu;
}

// Every use of the macros below has the names it makes written out beside it,
// so that a search for a name finds its declaration and its definition.

// --- declarations --------------------------------------------------------------------
// The draw-parameter setters other than the pass bits (each stores one field,
// booleans masked to 1 bit and indices to the field's width, and answers the
// new word); the material setters (each answers the material-is-default flag;
// colour and diffuse set the same word); the field setters; and the six
// shader-parameter setters, which store count values of 4, 4, 8, 12, 16 or 64
// bytes under a parameter name of the object's shader set (0 when the set or
// the name is unknown).
#define OBJ3D_FIELDS_DECLARE(P)                                                                    \
    DrawParam P##_set_depth_sort(DrawObj* obj, uint32_t v);                                        \
    DrawParam P##_set_lighting(DrawObj* obj, uint32_t v);                                          \
    DrawParam P##_set_point_lights(DrawObj* obj, uint32_t v);                                      \
    DrawParam P##_set_zwrite(DrawObj* obj, uint32_t v);                                            \
    DrawParam P##_set_fog(DrawObj* obj, uint32_t v);                                               \
    DrawParam P##_set_blend(DrawObj* obj, uint32_t v);                                             \
    DrawParam P##_set_cull(DrawObj* obj, uint32_t v);                                              \
    DrawParam P##_set_frustum_cull(DrawObj* obj, uint32_t v);                                      \
    DrawParam P##_set_alpha_ref(DrawObj* obj, uint32_t v);                                         \
    DrawParam P##_set_zfunc(DrawObj* obj, uint32_t v);                                             \
    DrawParam P##_set_tex_filter(DrawObj* obj, uint32_t v);                                        \
    DrawParam P##_set_fill(DrawObj* obj, uint32_t v);                                              \
    int P##_set_material(DrawObj* obj, uint32_t ambient, uint32_t diffuse, uint32_t emissive,      \
                         uint32_t specular, float power, float w5);                                \
    int P##_set_ambient(DrawObj* obj, uint32_t argb);                                              \
    int P##_set_colour(DrawObj* obj, uint32_t argb);                                               \
    int P##_set_diffuse(DrawObj* obj, uint32_t argb);                                              \
    int P##_set_emissive(DrawObj* obj, uint32_t argb);                                             \
    int P##_set_specular(DrawObj* obj, uint32_t argb, float power);                                \
    int P##_set_material_w5(DrawObj* obj, float w5);                                               \
    uint32_t P##_get_colour(DrawObj* obj);                                                         \
    ObjMaterial* P##_get_material(DrawObj* obj);                                                   \
    void P##_set_shader_scalar(DrawObj* obj, float v);                                             \
    void P##_set_light_mask(DrawObj* obj, uint32_t mask);                                          \
    void P##_set_shader_set(DrawObj* obj, int set);                                                \
    int P##_set_shader_f1(DrawObj* obj, const char* name, const float* v, int count);              \
    int P##_set_shader_i1(DrawObj* obj, const char* name, const int32_t* v, int count);            \
    int P##_set_shader_f2(DrawObj* obj, const char* name, const float* v, int count);              \
    int P##_set_shader_f3(DrawObj* obj, const char* name, const float* v, int count);              \
    int P##_set_shader_f4(DrawObj* obj, const char* name, const float* v, int count);              \
    int P##_set_shader_m44(DrawObj* obj, const char* name, const Mat44* v, int count)

// --- definitions (W is the work accessor) ------------------------------------------------
#define OBJ3D_FIELDS_DEFINE_DP(P, W, NAME, SHIFT, BITS)                                            \
    DrawParam P##_##NAME(DrawObj* obj, uint32_t v)                                                 \
    {                                                                                              \
        return obj3d_fields_set_dp(W(obj), SHIFT, BITS, v);                                        \
    }

#define OBJ3D_FIELDS_DEFINE(P, W)                                                                  \
    OBJ3D_FIELDS_DEFINE_DP(P, W, set_depth_sort, OBJ3D_DP_DEPTH_SORT_BIT, 1)                       \
    OBJ3D_FIELDS_DEFINE_DP(P, W, set_lighting, OBJ3D_DP_LIGHTING_BIT, 1)                           \
    OBJ3D_FIELDS_DEFINE_DP(P, W, set_point_lights, OBJ3D_DP_POINT_LIGHTS_BIT, 1)                   \
    OBJ3D_FIELDS_DEFINE_DP(P, W, set_zwrite, OBJ3D_DP_Z_WRITE_BIT, 1)                              \
    OBJ3D_FIELDS_DEFINE_DP(P, W, set_fog, OBJ3D_DP_FOG_BIT, 1)                                     \
    OBJ3D_FIELDS_DEFINE_DP(P, W, set_blend, DISP_RS_BLEND_SHIFT, DISP_RS_BLEND_BITS)               \
    OBJ3D_FIELDS_DEFINE_DP(P, W, set_cull, DISP_RS_CULL_SHIFT, DISP_RS_CULL_BITS)                  \
    OBJ3D_FIELDS_DEFINE_DP(P, W, set_frustum_cull, OBJ3D_DP_FRUSTUM_CULL_BIT, 1)                   \
    OBJ3D_FIELDS_DEFINE_DP(P, W, set_alpha_ref, DISP_RS_ALPHA_REF_SHIFT, DISP_RS_ALPHA_REF_BITS)   \
    OBJ3D_FIELDS_DEFINE_DP(P, W, set_zfunc, DISP_RS_Z_FUNC_SHIFT, DISP_RS_Z_FUNC_BITS)             \
    OBJ3D_FIELDS_DEFINE_DP(P, W, set_tex_filter, DISP_RS_FILTER_SHIFT, DISP_RS_FILTER_BITS)        \
    OBJ3D_FIELDS_DEFINE_DP(P, W, set_fill, DISP_RS_FILL_SHIFT, DISP_RS_FILL_BITS)                  \
    int P##_set_material(DrawObj* obj, uint32_t a, uint32_t d, uint32_t e, uint32_t s, float pw,   \
                         float w5)                                                                 \
    {                                                                                              \
        return obj3d_fields_edit_material(                                                         \
            W(obj), [&](ObjMaterial& m) { material_set(&m, a, d, e, s, pw, w5); });                \
    }                                                                                              \
    int P##_set_ambient(DrawObj* obj, uint32_t c)                                                  \
    {                                                                                              \
        return obj3d_fields_edit_material(W(obj), [&](ObjMaterial& m) { m.ambient = c; });         \
    }                                                                                              \
    int P##_set_colour(DrawObj* obj, uint32_t c)                                                   \
    {                                                                                              \
        return obj3d_fields_edit_material(W(obj), [&](ObjMaterial& m) { m.diffuse = c; });         \
    }                                                                                              \
    int P##_set_diffuse(DrawObj* obj, uint32_t c) { return P##_set_colour(obj, c); }               \
    int P##_set_emissive(DrawObj* obj, uint32_t c)                                                 \
    {                                                                                              \
        return obj3d_fields_edit_material(W(obj), [&](ObjMaterial& m) { m.emissive = c; });        \
    }                                                                                              \
    int P##_set_specular(DrawObj* obj, uint32_t c, float pw)                                       \
    {                                                                                              \
        return obj3d_fields_edit_material(W(obj),                                                  \
                                          [&](ObjMaterial& m) { m.specular = c, m.power = pw; });  \
    }                                                                                              \
    int P##_set_material_w5(DrawObj* obj, float w5)                                                \
    {                                                                                              \
        return obj3d_fields_edit_material(W(obj), [&](ObjMaterial& m) { m.w5 = w5; });             \
    }                                                                                              \
    uint32_t P##_get_colour(DrawObj* obj) { return W(obj) ? W(obj)->material.diffuse : 0; }        \
    ObjMaterial* P##_get_material(DrawObj* obj) { return W(obj) ? &W(obj)->material : nullptr; }   \
    void P##_set_shader_scalar(DrawObj* obj, float v)                                              \
    {                                                                                              \
        if (W(obj)) W(obj)->shader_scalar = v;                                                     \
    }                                                                                              \
    void P##_set_light_mask(DrawObj* obj, uint32_t mask)                                           \
    {                                                                                              \
        if (W(obj)) W(obj)->light_mask = mask;                                                     \
    }                                                                                              \
    void P##_set_shader_set(DrawObj* obj, int set)                                                 \
    {                                                                                              \
        if (W(obj)) W(obj)->shader_set = uint16_t(set);                                            \
    }                                                                                              \
    int P##_set_shader_f1(DrawObj* obj, const char* n, const float* v, int c)                      \
    {                                                                                              \
        return obj3d_fields_set_param(W(obj), n, v, c, 4);                                         \
    }                                                                                              \
    int P##_set_shader_i1(DrawObj* obj, const char* n, const int32_t* v, int c)                    \
    {                                                                                              \
        return obj3d_fields_set_param(W(obj), n, v, c, 4);                                         \
    }                                                                                              \
    int P##_set_shader_f2(DrawObj* obj, const char* n, const float* v, int c)                      \
    {                                                                                              \
        return obj3d_fields_set_param(W(obj), n, v, c, 8);                                         \
    }                                                                                              \
    int P##_set_shader_f3(DrawObj* obj, const char* n, const float* v, int c)                      \
    {                                                                                              \
        return obj3d_fields_set_param(W(obj), n, v, c, 12);                                        \
    }                                                                                              \
    int P##_set_shader_f4(DrawObj* obj, const char* n, const float* v, int c)                      \
    {                                                                                              \
        return obj3d_fields_set_param(W(obj), n, v, c, 16);                                        \
    }                                                                                              \
    int P##_set_shader_m44(DrawObj* obj, const char* n, const Mat44* v, int c)                     \
    {                                                                                              \
        return obj3d_fields_set_param(W(obj), n, v, c, 64);                                        \
    }
