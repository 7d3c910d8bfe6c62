// obj3d/meshobj: the mesh-list object (see meshobj.h): creation, the nodes' owner links, its
// draw-all and its hit target.
#include "obj3d/meshobj.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "disp/plight.h"
#include "math/vm_mat.h"
#include "math/vm_vec.h"
#include "disp/obj.h"
#include "obj3d/mdlobj.h"
#include "obj3d/obj3d_draw.h"
#include "plat/gfx.h"
#include "res/res.h"

namespace {

// A node keeps its owner in its two spare words and its sort key in its
// float word.
void set_node_owner(ResMeshListNode* n, DrawObj* owner)
{
    static_assert(sizeof n->spare >= sizeof owner);
    std::memcpy(n->spare, &owner, sizeof owner);
}

void set_list_owner(ResMeshListNode* list, DrawObj* owner)
{
    for (ResMeshListNode* n = list; n; n = n->next) set_node_owner(n, owner);
}

ResMeshListNode* g_nodes[MESHOBJ_LIST_SCRATCH];

}  // namespace

void meshobj_init(DrawObj* obj)
{
    MeshListObj* m = obj_work<MeshListObj>(obj);
    std::memset(static_cast<void*>(m), 0, sizeof *m);
    obj3d_fields_init(m);
    vm_mat_identity(&m->world);
    obj_set_priority(obj, 81);
    obj_set_visible(obj, 1);
}

void meshobj_exit(DrawObj* obj)
{
    MeshListObj* m = obj_work<MeshListObj>(obj);
    obj3d_hit_release(&m->hit);
    if (m->list) {
        set_list_owner(m->list, nullptr);
        res_mlist_free(m->list);
    }
    m->list = nullptr;
}

int meshobj_type() { return obj3d_type_number(OBJ3D_MESHLIST); }
int meshobj_is_type(const DrawObj* obj) { return obj3d_is_kind(obj, OBJ3D_MESHLIST); }
MeshListObj* meshobj_work(DrawObj* obj)
{
    return meshobj_is_type(obj) ? obj_work<MeshListObj>(obj) : nullptr;
}
Mat44* meshobj_matrix(DrawObj* obj)
{
    MeshListObj* m = meshobj_work(obj);
    return m ? &m->world : nullptr;
}

// The object that draws a node's list (null when none).
static DrawObj* meshobj_node_owner(const ResMeshListNode* node)
{
    DrawObj* o = nullptr;
    if (node) std::memcpy(&o, node->spare, sizeof o);
    return o;
}

DrawObj* meshobj_create(ResGroupId group, ResMeshListNode* list, int priority)
{
    DrawObj* obj = obj3d_alloc(group, OBJ3D_MESHLIST);
    if (!obj) return nullptr;
    if (list && !meshobj_set_model(obj, list)) {
        obj_free(obj);
        return nullptr;
    }
    obj_set_visible(obj, 1);
    obj_set_priority(obj, priority);
    return obj;
}

int meshobj_set_model(DrawObj* obj, ResMeshListNode* list)
{
    MeshListObj* m = meshobj_work(obj);
    if (!m) return 0;
    DrawObj* owner = meshobj_node_owner(list);
    if (owner && owner != obj) return 0;
    if (m->list && m->list != list) set_list_owner(m->list, nullptr);
    m->list = list;
    set_list_owner(list, obj);
    return 1;
}

void meshobj_clear_shader_set(DrawObj* obj) { meshobj_set_shader_set(obj, 0); }
DrawParam meshobj_draw_param_init(DrawParam word) { return draw_param_init(word); }

// meshobj_set_depth_sort, meshobj_set_lighting, meshobj_set_point_lights, meshobj_set_zwrite,
// meshobj_set_fog, meshobj_set_blend, meshobj_set_cull, meshobj_set_frustum_cull,
// meshobj_set_alpha_ref, meshobj_set_zfunc, meshobj_set_tex_filter, meshobj_set_fill,
// meshobj_set_material, meshobj_set_ambient, meshobj_set_colour, meshobj_set_diffuse,
// meshobj_set_emissive, meshobj_set_specular, meshobj_set_material_w5, meshobj_get_colour,
// meshobj_get_material, meshobj_set_shader_scalar, meshobj_set_light_mask, meshobj_set_shader_set,
// meshobj_set_shader_f1, meshobj_set_shader_i1, meshobj_set_shader_f2, meshobj_set_shader_f3,
// meshobj_set_shader_f4, meshobj_set_shader_m44:
OBJ3D_FIELDS_DEFINE(meshobj, meshobj_work)

// --- draw-all -----------------------------------------------------------------------------

namespace {

bool node_in_pass(const Obj3dPassView& pv, uint32_t f)
{
    if (!(f & MESHOBJ_NODE_ENABLED)) return false;
    if (pv.pass_a) return obj3d_dp_bit(f, OBJ3D_DP_PASS_A_BIT);
    if (pv.pass_b) return obj3d_dp_bit(f, OBJ3D_DP_PASS_B_BIT);
    return true;
}

void draw_node(const Obj3dPassView& pv, ResMeshListNode* n, ResHandle* last_mesh)
{
    MeshListObj* m = obj_work<MeshListObj>(meshobj_node_owner(n));
    MeshBounds b;
    if (!mesh_bounds(n->mesh, &b)) return;
    PointLight* lights[OBJ3D_MAX_LIGHTS] = {};
    int count = 0;
    if (obj3d_dp_bit(n->caller_word, OBJ3D_DP_POINT_LIGHTS_BIT))
        count = plight_select_for_point(lights, OBJ3D_MAX_LIGHTS, pv.screen, &b.centre, b.radius,
                                        uint32_t(n->minus_one));
    MeshDrawArgs d = {};
    d.mesh = n->mesh;
    d.material = &m->material;
    d.dp = n->caller_word & ~(7u << OBJ3D_DP_BILLBOARD_SHIFT);
    d.shader_set = m->shader_set ? m->shader_set : mesh_shader_set(n->mesh);
    d.params = m->params;
    d.lights = lights;
    d.light_count = count;
    d.keep_lighting = true;
    mesh_draw(pv, d, last_mesh);
}

}  // namespace

void meshobj_draw_all(DrawObj** run, int count)
{
    Obj3dPassView pv;
    obj3d_pass_view(&pv);
    const float margin = pv.pass_a ? OBJ3D_PASS_A_MARGIN : 0.0f;
    int first = 0, second = MESHOBJ_LIST_SCRATCH;
    for (int i = 0; i < count; ++i) {
        MeshListObj* m = obj_work<MeshListObj>(run[i]);
        for (ResMeshListNode* n = m->list; n && first < second; n = n->next) {
            MeshBounds b;
            if (!node_in_pass(pv, n->caller_word) || !mesh_bounds(n->mesh, &b)) continue;
            if (!sphere_in_frustum(pv.planes, &b.centre, b.radius + margin)) continue;
            const float r = 0.7f * b.radius;
            n->zero = vm_vec3_dist_sq(&pv.eye, &b.centre) + r * r;
            set_node_owner(n, run[i]);
            if (n->caller_word & MESHOBJ_NODE_SECOND_LIST)
                g_nodes[--second] = n;
            else
                g_nodes[first++] = n;
        }
    }
    if (first == 0 && second == MESHOBJ_LIST_SCRATCH) return;
    mlist_sort_asc(g_nodes, first);
    mlist_sort_desc(g_nodes + second, MESHOBJ_LIST_SCRATCH - second);
    obj3d_apply_base_states(pv, 3, OBJ3D_BASE_FVF);
    // The nodes are placed in world space already.
    gfx_set_transform(GFX_TS_WORLD, VM_MAT_IDENTITY.m);
    ResHandle last_mesh = ResHandle(-1);
    for (int i = 0; i < first; ++i) draw_node(pv, g_nodes[i], &last_mesh);
    for (int i = second; i < MESHOBJ_LIST_SCRATCH; ++i) draw_node(pv, g_nodes[i], &last_mesh);
    if (pv.tex_limit == -1) obj3d_unbind_stages(1);
}

// --- hit target ----------------------------------------------------------------------------

void meshobj_set_hit(DrawObj* obj, ResHandle coll, HitGroup group)
{
    if (MeshListObj* m = meshobj_work(obj)) obj3d_hit_set_model(&m->hit, &m->world, coll, group, 1);
}

// meshobj_hit_release, meshobj_hit_result_count, meshobj_hit_result, meshobj_hit_id,
// meshobj_get_hit:
OBJ3D_HIT_DEFINE(meshobj, meshobj_work)

int meshobj_hit_set_hittable(DrawObj* obj, int on)
{
    MeshListObj* m = meshobj_work(obj);
    if (!m) return 0;
    obj3d_hit_set_hittable(m->hit, on);
    return 1;
}

int meshobj_hit_enable(DrawObj* obj, int on)
{
    MeshListObj* m = meshobj_work(obj);
    if (!m) return 0;
    obj3d_hit_set_bits(m->hit, HIT_GROUND, on);
    return 1;
}

void meshobj_hit_debug_draw(DrawObj* obj)
{
    if (MeshListObj* m = meshobj_work(obj)) obj3d_hit_debug_draw(obj->group, m->hit, 0);
}
