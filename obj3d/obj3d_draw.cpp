// obj3d/obj3d_draw: the 3D draw pass (see obj3d_draw.h): the sorts, the groups of the draw-alls,
// the pass view and state keys, mesh_draw, and the model object's draw-all.
#include "obj3d/obj3d_draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "disp/cam.h"
#include "disp/d3d9.h"
#include "disp/disp_wire_table.h"
#include "disp/fog.h"
#include "disp/plight.h"
#include "disp/rstate.h"
#include "disp/shader.h"
#include "disp/tex.h"
#include "math/vm_mat.h"
#include "math/vm_vec.h"
#include "disp/obj.h"
#include "disp/obj_sort.h"
#include "obj3d/mdlobj.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "plat/gfx_stage.h"

static_assert(sizeof(ObjMaterial) == sizeof(ShaderMaterial), "materials share one layout");

namespace {

// Stacked ranges of the sort; the larger part is pushed, so 13 levels
// suffice for 8192 records.
constexpr int OBJ3D_SORT_STACK = 32;

struct DrawWork {
    DrawObj* order[OBJ3D_SORT_CAP];  // opaque group, then the whole draw order
    DrawObj* split[OBJ3D_SORT_CAP];  // front group from 0 up, back group from the top down
    int order_count;
};
DrawWork g_dw;
// Pending ranges of the sorts.
int g_stack_lo[OBJ3D_SORT_STACK], g_stack_hi[OBJ3D_SORT_STACK];

// --- sorts ------------------------------------------------------------------------

float key_f(const DrawObj* o) { return o->depth; }
uint32_t key_u(const DrawObj* o)
{
    uint32_t u;
    std::memcpy(&u, &o->depth, sizeof u);
    return u;
}

// Every sort of this pass is the one of obj_sort.h, on this module's stacks.
template <class T, class Key, class Before>
void sort_records(T** a, int n, Key key, Before before)
{
    obj_sort_records(a, n, key, before, g_stack_lo, g_stack_hi);
}

bool set_(int v) { return v != -1; }

// --- mesh draw pieces -------------------------------------------------------------

void apply_billboard(const Obj3dPassView& pv, Mat44* w, uint32_t mode)
{
    const Mat44& cam = pv.set->cam_to_world;
    if (mode == 1) {
        std::memcpy(w->m, cam.m, 12 * sizeof(float));
        return;
    }
    Vec3 pos, angles, scale;
    vm_mat_decompose(&pos, &angles, &scale, w);
    angles.y = std::atan2(pos.x - pv.eye.x, pos.z - pv.eye.z);
    vm_mat_from_pos_angles(w, &pos, &angles);
    vm_mat_scale(w, w, &scale);
}

void bind_buffers(const MeshBuffers* mb)
{
    if (mb->ib) gfx_set_indices(disp_wire_index_buffer(mb->ib, mb->index_bits == 32 ? 4 : 2));
    gfx_set_stream_source(0, disp_wire_vertex_buffer(mb->vb), 0, mb->stride);
}

// Binds the subset's textures; the number of stages used.
int bind_subset_textures(const Obj3dPassView& pv, const MeshSubset& s, int subset,
                         ResHandle override_tex, uint32_t filter)
{
    if (s.slot_count == 0) {
        if (!set_(pv.tex_limit)) tex_set_stage(0, nullptr, int(filter));
        return 0;
    }
    int n = int(std::min<uint32_t>(s.slot_count, MDL_SUBSET_SLOTS));
    if (set_(pv.tex_limit)) n = std::min(n, std::max(pv.tex_limit, 0));
    for (int st = 0; st < n; ++st) {
        ResHandle h = (subset == 0 && st == 0 && override_tex) ? override_tex : s.slot_tex[st];
        tex_set_stage(st, h >= 1 ? disp_tex_lookup(h) : nullptr, int(filter));
    }
    return n;
}

void draw_subsets(const Obj3dPassView& pv, const MeshDrawArgs& a, const MeshBuffers* mb)
{
    const uint32_t filter = disp_rstate_field(a.dp, DISP_RS_FILTER_SHIFT, DISP_RS_FILTER_BITS);
    for (uint32_t i = 0; i < mb->subset_count; ++i) {
        const MeshSubset& s = mb->subsets[i];
        const int n = bind_subset_textures(pv, s, int(i), a.override_tex, filter);
        const GfxPrim prim = GfxPrim(s.prim_type);
        if (mb->ib)
            gfx_draw_indexed_primitive(prim, 0, s.min_vertex, s.vertex_count, s.start_index,
                                       s.prim_count);
        else
            gfx_draw_primitive(prim, s.start_index, s.prim_count);
        if (!set_(pv.tex_limit))
            for (int st = std::max(shader_get_max_sampler_stage(), n - 1); st >= 1; --st)
                tex_set_stage(st, nullptr, 0);
    }
}

// Common states of a draw-all, set once before its objects.
void apply_base_states(const Obj3dPassView& pv, int samplers, uint32_t fvf = OBJ3D_BASE_FVF)
{
    disp_rstate_cache_reset();
    const int fog = set_(pv.fog_ovr) ? pv.fog_ovr : int(pv.fog_enable);
    const int cull = set_(pv.cull_ovr) ? pv.cull_ovr : 0;
    disp_set_rstate_key_fvf(rstate_key_make(1, 1, fog, 1, cull, DISP_ALPHA_REF_OFF, 3, 0, 1), fvf);
    gfx_set_render_state(GFX_RS_ALPHAFUNC, GFX_CMP_GREATEREQUAL);
    gfx_set_render_state(GFX_RS_ZENABLE, 1);
    gfx_stage_modulate_texture_diffuse(0);
    for (int s = 0; s < samplers; ++s) {
        gfx_set_sampler_state(s, GFX_SAMP_MAGFILTER, GFX_TEXF_LINEAR);
        gfx_set_sampler_state(s, GFX_SAMP_MINFILTER, GFX_TEXF_LINEAR);
    }
    // The filters were set behind the sampler-stage cache: make it forget,
    // so that an object asking for point filtering gets it.
    tex_stage_cache_reset();
}

}  // namespace

// --- public sorts ------------------------------------------------------------------

void sort_by_key_asc(DrawObj** a, int n)
{
    sort_records(a, n, key_f, [](float x, float y) { return x < y; });
}
void sort_by_key_desc(DrawObj** a, int n)
{
    sort_records(a, n, key_f, [](float x, float y) { return x > y; });
}
// The model object's opaque groups, by their state key.
static void sort_by_uint_asc(DrawObj** a, int n)
{
    sort_records(a, n, key_u, [](uint32_t x, uint32_t y) { return x < y; });
}
void sort_by_uint_desc(DrawObj** a, int n)
{
    sort_records(a, n, key_u, [](uint32_t x, uint32_t y) { return x > y; });
}

void mlist_sort_asc(ResMeshListNode** a, int n)
{
    sort_records(
        a, n, [](const ResMeshListNode* r) { return r->zero; },
        [](float x, float y) { return x < y; });
}
void mlist_sort_desc(ResMeshListNode** a, int n)
{
    sort_records(
        a, n, [](const ResMeshListNode* r) { return r->zero; },
        [](float x, float y) { return x > y; });
}

int* obj3d_sort_stack_lo() { return g_stack_lo; }
int* obj3d_sort_stack_hi() { return g_stack_hi; }

DrawObj* const* obj3d_sort_array() { return g_dw.order; }

// --- groups of the other draw-alls ----------------------------------------------------

namespace {
int g_opaque, g_front, g_back;
}

void obj3d_groups_begin()
{
    g_opaque = g_front = 0;
    g_back = OBJ3D_SORT_CAP;
}

void obj3d_groups_add(DrawObj* o, DrawParam dp)
{
    if (g_opaque + g_front >= g_back) return;
    if (!obj3d_dp_bit(dp, OBJ3D_DP_Z_WRITE_BIT))
        g_dw.split[--g_back] = o;
    else if (obj3d_dp_bit(dp, OBJ3D_DP_DEPTH_SORT_BIT))
        g_dw.split[g_front++] = o;
    else
        g_dw.order[g_opaque++] = o;
}

int obj3d_groups_finish()
{
    sort_by_key_asc(g_dw.order, g_opaque);
    sort_by_key_desc(g_dw.split, g_front);
    sort_by_key_desc(g_dw.split + g_back, OBJ3D_SORT_CAP - g_back);
    int n = g_opaque;
    for (int i = 0; i < g_front; ++i) g_dw.order[n++] = g_dw.split[i];
    for (int i = g_back; i < OBJ3D_SORT_CAP; ++i) g_dw.order[n++] = g_dw.split[i];
    g_dw.order_count = n;
    return n;
}

void obj3d_apply_base_states(const Obj3dPassView& pv, int samplers, uint32_t fvf)
{
    apply_base_states(pv, samplers, fvf);
}
int obj3d_sort_count() { return g_dw.order_count; }

// --- pass view and keys -------------------------------------------------------------

void obj3d_pass_view(Obj3dPassView* out)
{
    const Obj3dState& s = obj3d_state();
    Obj3dPassView& pv = *out;
    pv.cull_ovr = s.cull_ovr;
    pv.fog_ovr = s.fog_ovr;
    pv.alpha_ovr = s.alpha_ref_ovr;
    pv.blend_ovr = s.blend_ovr;
    pv.tex_limit = s.tex_limit;
    pv.pass_a = s.pass_a == 1;
    pv.pass_b = s.pass_b == 1;
    pv.screen = cam_get_cur_screen();
    pv.fog_enable = fog_get_enable(pv.screen);
    pv.pass_id = s.pass_id;
    pv.set = s.xset ? s.xset : cam_get_xform_set(0);
    const Mat44& c = pv.set->cam_to_world;
    pv.eye = {c.m[12], c.m[13], c.m[14]};
    pv.far_sq = pv.set->params.zfar * pv.set->params.zfar;
    pv.planes = &pv.set->cull_planes;
}

RenderStateKey obj3d_draw_key(const Obj3dPassView& pv, DrawParam dp, bool unlit)
{
    auto field = [&](int shift, int bits) { return int(disp_rstate_field(dp, shift, bits)); };
    const int lighting = unlit ? 0 : int(obj3d_dp_bit(dp, OBJ3D_DP_LIGHTING_BIT));
    const int fog = set_(pv.fog_ovr) ? pv.fog_ovr : int(obj3d_dp_bit(dp, OBJ3D_DP_FOG_BIT));
    const int blend =
        set_(pv.blend_ovr) ? pv.blend_ovr : field(DISP_RS_BLEND_SHIFT, DISP_RS_BLEND_BITS);
    const int cull = set_(pv.cull_ovr) ? pv.cull_ovr : field(DISP_RS_CULL_SHIFT, DISP_RS_CULL_BITS);
    const int aref =
        set_(pv.alpha_ovr) ? pv.alpha_ovr : field(DISP_RS_ALPHA_REF_SHIFT, DISP_RS_ALPHA_REF_BITS);
    return rstate_key_make(lighting, int(obj3d_dp_bit(dp, OBJ3D_DP_Z_WRITE_BIT)), fog, blend, cull,
                           aref, field(DISP_RS_Z_FUNC_SHIFT, DISP_RS_Z_FUNC_BITS),
                           field(DISP_RS_FILL_SHIFT, DISP_RS_FILL_BITS),
                           field(DISP_RS_FILTER_SHIFT, DISP_RS_FILTER_BITS));
}

// Grouping key of an opaque model object: lighting, fog, blend, cull,
// alpha-ref, z-write, z-function, point lights, shader set from bit 0 up.
static uint32_t mdlobj_state_key(DrawParam dp, int shader_set)
{
    auto f = [&](int shift, int bits) { return disp_rstate_field(dp, shift, bits); };
    return obj3d_dp_bit(dp, OBJ3D_DP_LIGHTING_BIT) | obj3d_dp_bit(dp, OBJ3D_DP_FOG_BIT) << 1 |
           f(DISP_RS_BLEND_SHIFT, DISP_RS_BLEND_BITS) << 2 |
           f(DISP_RS_CULL_SHIFT, DISP_RS_CULL_BITS) << 7 |
           f(DISP_RS_ALPHA_REF_SHIFT, DISP_RS_ALPHA_REF_BITS) << 10 |
           obj3d_dp_bit(dp, OBJ3D_DP_Z_WRITE_BIT) << 13 |
           f(DISP_RS_Z_FUNC_SHIFT, DISP_RS_Z_FUNC_BITS) << 14 |
           obj3d_dp_bit(dp, OBJ3D_DP_POINT_LIGHTS_BIT) << 17 | uint32_t(shader_set) << 18;
}

// --- mesh draw -----------------------------------------------------------------------

void mesh_draw(const Obj3dPassView& pv, const MeshDrawArgs& a, ResHandle* last_mesh)
{
    if (a.mesh == 0) return;
    if (pv.pass_a && !obj3d_dp_bit(a.dp, OBJ3D_DP_PASS_A_BIT)) return;
    if (pv.pass_b && !obj3d_dp_bit(a.dp, OBJ3D_DP_PASS_B_BIT)) return;
    const MeshBuffers* mb = res_mesh_get_object(a.mesh);
    if (!mb) return;
    if (const uint32_t bb =
            disp_rstate_field(a.dp, OBJ3D_DP_BILLBOARD_SHIFT, OBJ3D_DP_BILLBOARD_BITS);
        bb && a.world)
        apply_billboard(pv, a.world, bb);

    // Meshes with vertex colours are drawn unlit.
    const RenderStateKey key =
        obj3d_draw_key(pv, a.dp, !a.keep_lighting && (mb->fvf & GFX_FVF_DIFFUSE) != 0);
    RstateMeshArgs args = {};
    args.pass_id = pv.pass_id;
    args.shader_set = a.shader_set;
    args.params = a.params;
    args.decl = mb->lvf;
    args.world = a.world ? a.world->m : nullptr;
    args.material = a.material;
    args.scalar = a.scalar;
    args.mesh = mb;
    args.skin = a.skin;
    args.lights = a.light_count > 0 ? a.lights : nullptr;
    args.light_count = std::clamp(a.light_count, 0, OBJ3D_MAX_LIGHTS);
    disp_set_rstate_block(key, &args);

    if (*last_mesh != a.mesh) {
        bind_buffers(mb);
        *last_mesh = a.mesh;
    }
    draw_subsets(pv, a, mb);
}

// --- model object draw-all -----------------------------------------------------------

namespace {

// Level of detail, cull and the group of one model object; false when it is
// not drawn this frame.
bool mdlobj_prepare(const Obj3dPassView& pv, DrawObj* o, ModelObj* m)
{
    const Vec3 pos = {m->world.m[12], m->world.m[13], m->world.m[14]};
    const float d2 = vm_vec3_dist_sq(&pv.eye, &pos);
    o->depth = d2;
    m->chosen = ((pv.pass_a || pv.pass_b) && m->fixed) ? m->fixed : mdlobj_lod_for(m, d2);
    if (m->chosen == 0) return false;
    if (obj3d_dp_bit(m->dp, OBJ3D_DP_FRUSTUM_CULL_BIT)) {
        // Without bounds there is nothing to cull against: not drawn.
        MeshBounds b;
        if (!mesh_bounds(m->chosen, &b)) return false;
        m->cull_radius = b.radius;
        if (!sphere_in_frustum_xf(pv.planes, &m->world, &b, pv.pass_a ? OBJ3D_PASS_A_MARGIN : 0.0f))
            return false;
    }
    return true;
}

void mdlobj_draw_one(const Obj3dPassView& pv, DrawObj* o, ResHandle* last_mesh)
{
    ModelObj* m = obj_work<ModelObj>(o);
    PointLight* lights[OBJ3D_MAX_LIGHTS] = {};
    int nlights = 0;
    if (obj3d_dp_bit(m->dp, OBJ3D_DP_POINT_LIGHTS_BIT)) {
        m->light_point = {m->world.m[12], m->world.m[13], m->world.m[14]};
        nlights = plight_select_for_point(lights, OBJ3D_MAX_LIGHTS, pv.screen, &m->light_point,
                                          m->cull_radius, m->light_mask);
    }
    const bool own_material = m->shader_set == 0 && !m->material_default;
    if (own_material) material_apply_obj(&m->material);
    MeshDrawArgs a = {};
    a.mesh = m->chosen;
    a.override_tex = m->override_tex;
    a.world = &m->world;
    a.material = &m->material;
    a.dp = m->dp;
    a.shader_set = m->shader_set;
    a.params = m->params;
    a.scalar = m->shader_scalar;
    a.lights = lights;
    a.light_count = nlights;
    mesh_draw(pv, a, last_mesh);
    if (own_material) material_apply_default();
}

}  // namespace

void mdlobj_draw_all(DrawObj** run, int count)
{
    Obj3dPassView pv;
    obj3d_pass_view(&pv);
    int opaque = 0, front = 0, back = OBJ3D_SORT_CAP;
    count = std::min(count, OBJ3D_SORT_CAP);
    for (int i = 0; i < count; ++i) {
        DrawObj* o = run[i];
        ModelObj* m = obj_work<ModelObj>(o);
        if (!mdlobj_prepare(pv, o, m)) continue;
        if (!obj3d_dp_bit(m->dp, OBJ3D_DP_Z_WRITE_BIT)) {
            g_dw.split[--back] = o;
        } else if (obj3d_dp_bit(m->dp, OBJ3D_DP_DEPTH_SORT_BIT)) {
            g_dw.split[front++] = o;
        } else {
            const uint32_t k = mdlobj_state_key(m->dp, m->shader_set);
            std::memcpy(&o->depth, &k, sizeof k);
            g_dw.order[opaque++] = o;
        }
    }
    sort_by_uint_asc(g_dw.order, opaque);
    sort_by_key_desc(g_dw.split, front);
    // The back group is drawn as it lies: the reverse of arrival.
    int n = opaque;
    for (int i = 0; i < front; ++i) g_dw.order[n++] = g_dw.split[i];
    for (int i = back; i < OBJ3D_SORT_CAP; ++i) g_dw.order[n++] = g_dw.split[i];
    g_dw.order_count = n;
    if (n == 0) return;

    apply_base_states(pv, 3);
    ResHandle last_mesh = ResHandle(-1);
    for (int i = 0; i < n; ++i) mdlobj_draw_one(pv, g_dw.order[i], &last_mesh);
    if (!set_(pv.tex_limit)) obj3d_unbind_stages(1);
}

DrawObj** obj3d_sort_array_fill() { return g_dw.order; }
void obj3d_sort_set_count(int n)
{
    g_dw.order_count = n < 0 ? 0 : (n > OBJ3D_SORT_CAP ? OBJ3D_SORT_CAP : n);
}
