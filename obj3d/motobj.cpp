// obj3d/motobj: the motion object (see motobj.h): creation, meshes, motion control, bones and root
// motion, attachments, the skinned draw-all and the bone hit targets. The motion player it owns
// is in motion.cpp and its neighbours.
#include "obj3d/motobj.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "res/mesh_buf.h"
#include "disp/plight.h"
#include "disp/shader.h"
#include "math/vm_mat.h"
#include "math/vm_small.h"
#include "math/vm_vec.h"
#include "disp/obj.h"
#include "obj3d/attobj.h"
#include "obj3d/obj3d_hit.h"
#include "obj3d/obj3d_draw.h"
#include "res/chunk.h"

namespace {

MotionPlayer* player_of(DrawObj* obj)
{
    MotionObj* m = motobj_work(obj);
    return m ? m->player : nullptr;
}

ResHandle lod_pick(const LodEntry (&l)[MDLOBJ_LODS], float d2)
{
    ResHandle chosen = 0;
    for (const LodEntry& e : l)
        if (e.mesh && e.dist <= d2) chosen = e.mesh & MOTOBJ_MESH_MAX;
    return chosen;
}

// The skin mesh of an update: the first level's mesh of a visible object
// without a fixed mesh.
const MeshBuffers* skin_mesh_of(DrawObj* obj, const MotionObj* m)
{
    if (m->fixed || !(obj->flags & OBJ_VISIBLE) || !m->lods[0].mesh) return nullptr;
    return res_mesh_get_object(m->lods[0].mesh);
}

// A root-motion delta turned into world space by the object's world matrix;
// unchanged for an object that is not a motion object.
void to_world(DrawObj* obj, const Vec3& d, Vec3* out)
{
    if (Mat44* w = motobj_matrix(obj))
        vm_mat_transform_vector(out, w, &d);
    else
        *out = d;
}

// The bones' own targets are skipped by the springs' ground probe.
HitOwnerId bone_hit_owner(const MotionObj* m) { return m->bone_hits ? m->bone_hits->owner : 0; }

// Bone matrices that the attachments hang from move when the skeleton
// changes: look each attachment's bone up again.
void rehang_attachments(MotionObj* m)
{
    for (DrawObj* o = m->attachments; o; o = obj_work<AttachObj>(o)->next) {
        AttachObj* a = obj_work<AttachObj>(o);
        a->bones = m->player;
        if (!a->bone[0]) continue;
        BoneWork* b = bone_work_by_name(m->player, a->bone, name_hash(a->bone));
        a->parent = b ? &b->world : nullptr;
    }
}

ShaderBone
    g_skel_bones[SHADER_PALETTE_MAX > MOTION_MAX_BONES ? SHADER_PALETTE_MAX : MOTION_MAX_BONES];
ShaderSkeleton g_skel;

}  // namespace

// --- skinning source -------------------------------------------------------------------------

const ShaderSkeleton* motion_skeleton(const MotionPlayer* p, const MeshBuffers* mesh)
{
    if (!p || !p->bones || !mesh) return nullptr;
    g_skel = ShaderSkeleton{};
    g_skel.bones = g_skel_bones;
    if (p->skin_mesh == mesh) {
        const int n = int(std::min<uint32_t>(mesh->bone_count, SHADER_PALETTE_MAX));
        for (int i = 0; i < n; ++i) g_skel_bones[i] = {nullptr, 0, nullptr};
        for (const BoneWork* b = p->bones; b; b = b->next)
            if (b->mesh_bone < n) g_skel_bones[b->mesh_bone] = {b->name, b->hash, &b->skin};
        g_skel.own_mesh = mesh;
        g_skel.bone_count = n;
        return &g_skel;
    }
    int n = 0;
    for (const BoneWork* b = p->bones; b && n < MOTION_MAX_BONES; b = b->next)
        g_skel_bones[n++] = {b->name, b->hash, &b->model};
    g_skel.bone_count = n;
    return &g_skel;
}

bool motion_root_world_pos(const MotionPlayer* p, Vec3* out)
{
    if (!p || !p->bones) return false;
    *out = {p->bones->world.m[12], p->bones->world.m[13], p->bones->world.m[14]};
    return true;
}

// --- type callbacks -----------------------------------------------------------------------

void motobj_init(DrawObj* obj)
{
    MotionObj* m = obj_work<MotionObj>(obj);
    std::memset(static_cast<void*>(m), 0, sizeof *m);
    obj3d_fields_init(m);
    vm_mat_identity(&m->world);
    m->player = motion_player_alloc();
    if (m->player) m->player->start = MOTOBJ_START_FRAME * MOTION_ONE_FRAME;
    obj_set_priority(obj, MDLOBJ_DEFAULT_PRIORITY);
    obj_set_visible(obj, 1);
}

void motobj_exit(DrawObj* obj)
{
    MotionObj* m = obj_work<MotionObj>(obj);
    obj3d_hit_release(&m->bone_hits);
    attobj_free_list(&m->attachments);
    motion_player_free(m->player);
    m->player = nullptr;
}

// --- creation -----------------------------------------------------------------------------

int motobj_type() { return obj3d_type_number(OBJ3D_MOTION); }
int motobj_is_type(const DrawObj* obj) { return obj3d_is_kind(obj, OBJ3D_MOTION); }
MotionObj* motobj_work(DrawObj* obj)
{
    return motobj_is_type(obj) ? obj_work<MotionObj>(obj) : nullptr;
}
Mat44* motobj_matrix(DrawObj* obj)
{
    MotionObj* m = motobj_work(obj);
    return m ? &m->world : nullptr;
}

DrawObj* motobj_create(ResGroupId group, const Mat44* world, ResHandle mesh, int priority)
{
    DrawObj* obj = obj3d_alloc(group, OBJ3D_MOTION);
    if (!obj) return nullptr;
    if (!obj_work<MotionObj>(obj)->player) {
        obj_free(obj);
        return nullptr;
    }
    motobj_set_model(obj, mesh);
    if (world) obj_work<MotionObj>(obj)->world = *world;
    obj_set_visible(obj, 1);
    obj_set_priority(obj, priority);
    return obj;
}

// --- meshes and fields ----------------------------------------------------------------------

void motobj_set_lods(DrawObj* obj, ResHandle mesh0, float dist0, ResHandle mesh1, float dist1)
{
    MotionObj* m = motobj_work(obj);
    if (!m) return;
    const ResHandle first = mdlobj_fill_lods(m->lods, mesh0, dist0, mesh1, dist1, MOTOBJ_MESH_MAX);
    m->shader_set = uint16_t(mesh_shader_set(first));
}
void motobj_set_model(DrawObj* obj, ResHandle mesh) { motobj_set_lods(obj, mesh, 0.0f, 0, 0.0f); }
ResHandle motobj_get_model(DrawObj* obj)
{
    MotionObj* m = motobj_work(obj);
    return m ? m->lods[0].mesh : 0;
}
void motobj_set_fixed_mesh(DrawObj* obj, ResHandle mesh)
{
    MotionObj* m = motobj_work(obj);
    if (m && mesh <= MOTOBJ_MESH_MAX) m->fixed = uint16_t(mesh);
}
void motobj_set_override_tex(DrawObj* obj, ResHandle tex)
{
    if (MotionObj* m = motobj_work(obj)) m->override_tex = tex;
}
ResHandle motobj_get_override_tex(DrawObj* obj)
{
    MotionObj* m = motobj_work(obj);
    return m ? m->override_tex : 0;
}
void motobj_refresh_shader_set(DrawObj* obj)
{
    if (MotionObj* m = motobj_work(obj)) m->shader_set = uint16_t(mesh_shader_set(m->lods[0].mesh));
}
DrawParam motobj_set_pass_a(DrawObj* obj, uint32_t v)
{
    return obj3d_fields_set_dp(motobj_work(obj), OBJ3D_DP_PASS_A_BIT, 1, v);
}
DrawParam motobj_set_pass_b(DrawObj* obj, uint32_t v)
{
    return obj3d_fields_set_dp(motobj_work(obj), OBJ3D_DP_PASS_B_BIT, 1, v);
}

// motobj_set_depth_sort, motobj_set_lighting, motobj_set_point_lights, motobj_set_zwrite,
// motobj_set_fog, motobj_set_blend, motobj_set_cull, motobj_set_frustum_cull, motobj_set_alpha_ref,
// motobj_set_zfunc, motobj_set_tex_filter, motobj_set_fill, motobj_set_material,
// motobj_set_ambient, motobj_set_colour, motobj_set_diffuse, motobj_set_emissive,
// motobj_set_specular, motobj_set_material_w5, motobj_get_colour, motobj_get_material,
// motobj_set_shader_scalar, motobj_set_light_mask, motobj_set_shader_set, motobj_set_shader_f1,
// motobj_set_shader_i1, motobj_set_shader_f2, motobj_set_shader_f3, motobj_set_shader_f4,
// motobj_set_shader_m44:
OBJ3D_FIELDS_DEFINE(motobj, motobj_work)

// --- motion control ----------------------------------------------------------------------------

void motobj_set_motion(DrawObj* obj, ResHandle bone_model, ResHandle motion)
{
    MotionObj* m = motobj_work(obj);
    if (!m) return;
    const ResHandle old_model = m->player->model;
    const int first = motion_player_set(m->player, bone_model, motion);
    if (bone_model != 0) {
        motion_player_update(m->player, &m->world, int(m->player->frame >> 16),
                             skin_mesh_of(obj, m), bone_hit_owner(m), first);
    }
    if (m->player->model != old_model) rehang_attachments(m);
    // The targets sit on bone matrices: a new skeleton needs new ones.
    if (bone_model != 0 && m->bone_hits) motobj_build_bone_hits(obj, MOTOBJ_PLAYER_BONES, 0);
}

void motobj_update(DrawObj* obj, int frame)
{
    MotionObj* m = motobj_work(obj);
    if (m)
        motion_player_update(m->player, &m->world, frame, skin_mesh_of(obj, m), bone_hit_owner(m),
                             0);
}

int motobj_get_frame(DrawObj* obj)
{
    MotionPlayer* p = player_of(obj);
    return p ? int(p->frame >> 16) : 0;
}
int motobj_get_length(DrawObj* obj)
{
    MotionPlayer* p = player_of(obj);
    return p ? int(p->length >> 16) : 0;
}
int motobj_get_loop_count(DrawObj* obj)
{
    MotionPlayer* p = player_of(obj);
    return p ? int(p->loop_count) : 0;
}
int motobj_get_total_frames(DrawObj* obj)
{
    return motobj_get_frame(obj) + motobj_get_length(obj) * motobj_get_loop_count(obj);
}
int motobj_is_playing(DrawObj* obj) { return motion_is_playing_limit(player_of(obj)); }
int motobj_is_playing_n(DrawObj* obj, int loops)
{
    return motion_is_playing(player_of(obj), loops);
}
int motobj_faded(DrawObj* obj)
{
    MotionPlayer* p = player_of(obj);
    return p && (p->flags & MOTION_MP_FADED) ? 1 : 0;
}
int motobj_at_start(DrawObj* obj) { return motion_at_start(player_of(obj)); }
int motobj_at_end(DrawObj* obj) { return motion_at_end(player_of(obj)); }
int motobj_get_start(DrawObj* obj)
{
    MotionPlayer* p = player_of(obj);
    return p ? int(p->start >> 16) : 0;
}
void motobj_set_start(DrawObj* obj, int frame)
{
    if (MotionPlayer* p = player_of(obj)) p->start = uint32_t(clampi(frame, 0, 0x7FFF)) << 16;
}
int motobj_get_loop_start(DrawObj* obj)
{
    MotionPlayer* p = player_of(obj);
    return p ? int(p->loop_start >> 16) : 0;
}
void motobj_set_loop_start(DrawObj* obj, int frame)
{
    if (MotionPlayer* p = player_of(obj)) p->loop_start = uint32_t(clampi(frame, 0, 0x7FFF)) << 16;
}
void motobj_set_frame(DrawObj* obj, int frame)
{
    MotionPlayer* p = player_of(obj);
    if (!p) return;
    // Without a motion there is no last frame to clamp to.
    const int last = int(p->length >> 16) - 1;
    const int f = last < 0 ? 0 : clampi(frame, std::min(int(p->start >> 16), last), last);
    motion_set_frame(p, uint32_t(f) << 16);
}
ResHandle motobj_get_motion(DrawObj* obj)
{
    MotionPlayer* p = player_of(obj);
    return p ? p->motion : 0;
}
ResHandle motobj_get_bone_model(DrawObj* obj)
{
    MotionPlayer* p = player_of(obj);
    return p ? p->model : 0;
}
MotionPlayer* motobj_get_player(DrawObj* obj) { return player_of(obj); }
void motobj_set_loop(DrawObj* obj, int on) { motion_set_loop(player_of(obj), on); }
void motobj_set_loop_limit(DrawObj* obj, int n) { motion_set_loop_limit(player_of(obj), n); }
void motobj_set_mirror(DrawObj* obj, int on, int fade)
{
    motion_set_mirror(player_of(obj), on);
    if (fade) motion_start_fade(player_of(obj));
}
void motobj_set_reverse(DrawObj* obj, int on) { motion_set_reverse(player_of(obj), on); }
void motobj_set_speed(DrawObj* obj, float frames) { motion_set_speed(player_of(obj), frames); }
void motobj_set_fade(DrawObj* obj, int n) { motion_set_fade(player_of(obj), n); }
void motobj_start_fade(DrawObj* obj) { motion_start_fade(player_of(obj)); }
void motobj_set_ref_filter(DrawObj* obj, int filter)
{
    if (MotionPlayer* p = player_of(obj))
        p->flags = (p->flags & ~(7u << MOTION_MP_REF_FILTER_SHIFT)) |
                   (uint32_t(filter & 7) << MOTION_MP_REF_FILTER_SHIFT);
}
int motobj_get_node_count(DrawObj* obj) { return motion_node_count(player_of(obj)); }
int motobj_get_ref_bone(DrawObj* obj) { return motion_ref_bone(player_of(obj)); }

// --- reference bone and root motion -----------------------------------------------------------

void motobj_ref_matrix(DrawObj* obj, Mat44* out)
{
    vm_mat_identity(out);
    if (MotionPlayer* p = player_of(obj)) motion_ref_matrix(p, out);
}
void motobj_ref_pos(DrawObj* obj, float* x, float* y, float* z)
{
    Mat44 r;
    motobj_ref_matrix(obj, &r);
    if (x) *x = r.m[12];
    if (y) *y = r.m[13];
    if (z) *z = r.m[14];
}
void motobj_ref_pos_xz(DrawObj* obj, float* x, float* z) { motobj_ref_pos(obj, x, nullptr, z); }
void motobj_ref_angles(DrawObj* obj, Vec3* out)
{
    Mat44 r;
    motobj_ref_matrix(obj, &r);
    vm_mat_to_euler_c(out, &r);
}
void motobj_root_delta(DrawObj* obj, Vec3* out) { motion_root_delta(player_of(obj), out); }
void motobj_root_delta_world(DrawObj* obj, Vec3* out)
{
    Vec3 d;
    motobj_root_delta(obj, &d);
    to_world(obj, d, out);
}
void motobj_root_delta_xz(DrawObj* obj, Vec3* out)
{
    motobj_root_delta(obj, out);
    out->y = 0.0f;
}
void motobj_root_delta_xz_world(DrawObj* obj, Vec3* out)
{
    Vec3 d;
    motobj_root_delta_xz(obj, &d);
    to_world(obj, d, out);
}
float motobj_root_speed(DrawObj* obj)
{
    Vec3 d;
    motobj_root_delta(obj, &d);
    return vec3_len(&d);
}
float motobj_root_speed_xz(DrawObj* obj)
{
    Vec3 d;
    motobj_root_delta(obj, &d);
    return std::sqrt(d.x * d.x + d.z * d.z);
}

// --- bones ------------------------------------------------------------------------------------

int motobj_bone_index(DrawObj* obj, const char* name)
{
    return motion_bone_index(player_of(obj), name);
}
const char* motobj_bone_name(DrawObj* obj, int i) { return motion_bone_name(player_of(obj), i); }
BoneWork* motobj_bone_world(DrawObj* obj, int i, int force)
{
    MotionObj* m = motobj_work(obj);
    return m ? motion_bone_world(m->player, i, &m->world, force) : nullptr;
}
BoneWork* motobj_bone_world_by_name(DrawObj* obj, const char* name, int force)
{
    return motobj_bone_world(obj, motobj_bone_index(obj, name), force);
}
int motobj_ctrl_reach(DrawObj* obj, int i, const Vec3* target, float weight, int chain)
{
    return motion_ctrl_reach(player_of(obj), i, target, weight, chain);
}
int motobj_ctrl_reach_by_name(DrawObj* obj, const char* name, const Vec3* target, float weight,
                              int chain)
{
    return motobj_ctrl_reach(obj, motobj_bone_index(obj, name), target, weight, chain);
}
int motobj_ctrl_aim(DrawObj* obj, int i, const Vec3* target, const Vec3* up, float weight)
{
    return motion_ctrl_aim(player_of(obj), i, target, up, weight);
}
int motobj_ctrl_aim_by_name(DrawObj* obj, const char* name, const Vec3* target, const Vec3* up,
                            float weight)
{
    return motobj_ctrl_aim(obj, motobj_bone_index(obj, name), target, up, weight);
}
int motobj_ctrl_blend(DrawObj* obj, int i, const Mat44* m, float weight)
{
    return motion_ctrl_blend(player_of(obj), i, m, weight);
}
int motobj_ctrl_blend_by_name(DrawObj* obj, const char* name, const Mat44* m, float weight)
{
    return motobj_ctrl_blend(obj, motobj_bone_index(obj, name), m, weight);
}
int motobj_ctrl_blend_world(DrawObj* obj, int i, const Mat44* m, float weight)
{
    return motion_ctrl_blend_world(player_of(obj), i, m, weight);
}
int motobj_ctrl_blend_world_by_name(DrawObj* obj, const char* name, const Mat44* m, float weight)
{
    return motobj_ctrl_blend_world(obj, motobj_bone_index(obj, name), m, weight);
}
int motobj_enable_spring(DrawObj* obj, const char* node, int on)
{
    return motion_node_enable_spring(player_of(obj), node, on);
}

int motobj_for_each_bone_link(DrawObj* obj, MotobjLinkFn fn, void* arg)
{
    MotionPlayer* p = player_of(obj);
    const ByteSpan d = p ? res_data(RES_BONE, p->model) : ByteSpan{};
    if (d.empty() || !fn) return 0;
    // Name stack: the enclosing node and the last node of each open level.
    constexpr int MOTOBJ_DEPTH = 128;
    struct Level {
        const char* parent;
        const char* last;
    } stack[MOTOBJ_DEPTH];
    int depth = 0;
    const char* last = nullptr;
    uint32_t pos = 0;
    BoneTok t;
    while (chunk_bone_next(d, pos, t)) {
        if (t.kind == CHUNK_BONE_TOK_PUSH) {
            if (depth < MOTOBJ_DEPTH) stack[depth] = {last, nullptr};
            ++depth;
        } else if (t.kind == CHUNK_BONE_TOK_POP) {
            if (depth <= 0) break;
            --depth;
            if (depth >= MOTOBJ_DEPTH) continue;
            const Level& l = stack[depth];
            if (l.parent && l.last)
                fn(obj, bone_work_by_name(p, l.parent, name_hash(l.parent)), l.parent,
                   bone_work_by_name(p, l.last, name_hash(l.last)), l.last, arg);
            last = l.parent;
        } else if (t.kind == CHUNK_BONE_TOK_NODE) {
            last = t.name_off ? chunk_rd_name(d, t.name_off) : nullptr;
            if (depth > 0 && depth <= MOTOBJ_DEPTH) stack[depth - 1].last = last;
        }
    }
    return 1;
}

int motobj_is_culled(DrawObj* obj, int view, const ProjParams* params, int use_sphere)
{
    MotionObj* m = motobj_work(obj);
    if (!m) return 1;
    FrustumPlanes own;
    const FrustumPlanes* planes = obj3d_view_planes(view, params, &own);
    Vec3 pos = {m->world.m[12], m->world.m[13], m->world.m[14]};
    if (m->player->ref_matrix) {
        Mat44 r;
        vm_mat_mul(&r, &m->world, m->player->ref_matrix);
        pos = {r.m[12], r.m[13], r.m[14]};
    }
    MeshBounds b;
    const float radius = use_sphere && mesh_bounds(m->chosen, &b) ? b.radius : 0.0f;
    return !sphere_in_frustum(planes, &pos, radius);
}

// --- attachments ----------------------------------------------------------------------------------

DrawObj* motobj_attach_model(DrawObj* obj, const char* name, ResHandle mesh, const char* bone)
{
    MotionObj* m = motobj_work(obj);
    if (!m) return nullptr;
    DrawObj* att = attobj_list_attach(obj, name, mesh);
    AttachObj* a = attobj_work(att);
    if (!a) return nullptr;
    const MeshBuffers* mb = res_mesh_get_object(mesh);
    a->bone[0] = '\0';
    a->parent = nullptr;
    if (!(mb && mb->bone_count) && bone) {
        std::strncat(a->bone, bone, ATTOBJ_ATTACH_NAME_BYTES - 1);
        BoneWork* b = motobj_bone_world_by_name(obj, bone, 0);
        a->parent = b ? &b->world : nullptr;
    }
    return att;
}

// motobj_find_attachment, motobj_attachment_count, motobj_get_attachment, motobj_show_attachment,
// motobj_show_attachment_at, motobj_detach, motobj_detach_all:
ATTOBJ_LIST_DEFINE_OWNER(motobj)

// --- draw-all ------------------------------------------------------------------------------------

namespace {

bool mot_prepare(const Obj3dPassView& pv, DrawObj* o, MotionObj* m)
{
    if (!motion_root_world_pos(m->player, &m->light_point))
        m->light_point = {m->world.m[12], m->world.m[13], m->world.m[14]};
    const float d2 = vm_vec3_dist_sq(&pv.eye, &m->light_point);
    o->depth = d2;
    m->chosen = uint16_t(pv.pass_a && m->fixed ? m->fixed : lod_pick(m->lods, d2));
    MeshBounds b;
    if (!m->chosen || !mesh_bounds(m->chosen, &b)) return false;
    m->light_radius = b.origin_radius;
    if (obj3d_dp_bit(m->dp, OBJ3D_DP_FRUSTUM_CULL_BIT) &&
        !sphere_in_frustum(pv.planes, &m->light_point,
                           b.origin_radius + (pv.pass_a ? OBJ3D_PASS_A_MARGIN : 0.0f)))
        return false;
    return true;
}

void mot_draw_one(const Obj3dPassView& pv, DrawObj* o, ResHandle* last_mesh)
{
    MotionObj* m = obj_work<MotionObj>(o);
    PointLight* lights[OBJ3D_MAX_LIGHTS] = {};
    int n = 0;
    if (obj3d_dp_bit(m->dp, OBJ3D_DP_POINT_LIGHTS_BIT))
        n = plight_select_for_point(lights, OBJ3D_MAX_LIGHTS, pv.screen, &m->light_point,
                                    m->light_radius, m->light_mask);
    const bool own_material = m->shader_set == 0 && !m->material_default;
    if (own_material) material_apply_obj(&m->material);
    MeshDrawArgs d = {};
    d.mesh = m->chosen;
    d.override_tex = m->override_tex;
    d.world = &m->world;
    d.skin = motion_skeleton(m->player, res_mesh_get_object(m->chosen));
    d.material = &m->material;
    d.dp = m->dp;
    d.shader_set = m->shader_set;
    d.params = m->params;
    d.scalar = m->shader_scalar;
    d.lights = lights;
    d.light_count = n;
    mesh_draw(pv, d, last_mesh);
    if (own_material) material_apply_default();
}

}  // namespace

void motobj_draw_all(DrawObj** run, int count)
{
    Obj3dPassView pv;
    obj3d_pass_view(&pv);
    obj3d_groups_begin();
    for (int i = 0; i < count; ++i) {
        MotionObj* m = obj_work<MotionObj>(run[i]);
        if (m->player && mot_prepare(pv, run[i], m)) obj3d_groups_add(run[i], m->dp);
    }
    const int n = obj3d_groups_finish();
    if (n == 0) return;
    obj3d_apply_base_states(pv, 1, OBJ3D_BASE_FVF);
    ResHandle last_mesh = ResHandle(-1);
    DrawObj** order = obj3d_sort_array_fill();
    for (int i = 0; i < n; ++i) mot_draw_one(pv, order[i], &last_mesh);
    if (pv.tex_limit == -1) obj3d_unbind_stages(1);
}

// --- bone hit targets ------------------------------------------------------------------------

namespace {

constexpr size_t MOTOBJ_CM_NAME_BYTES = 260;

// The collision model of a bone: the tree has a node "CM_<bone>" and the
// tree's group a collision model of that name; 0 otherwise, and for a name
// that does not fit.
ResHandle bone_coll(ResHandle tree, const char* bone)
{
    char cm[MOTOBJ_CM_NAME_BYTES];
    const int n = std::snprintf(cm, sizeof cm, "CM_%s", bone ? bone : "");
    if (!bone || n < 0 || size_t(n) >= sizeof cm) return 0;
    float node[16];
    if (!res_bone_node_world(tree, cm, node)) return 0;
    return res_coll_find(res_bone_group(tree), cm);
}

HitTarget* first_named(DrawObj* obj, const char* name)
{
    MotionObj* m = motobj_work(obj);
    return m ? obj3d_hit_by_name(m->bone_hits, name) : nullptr;
}

int set_named_bit(DrawObj* obj, const char* name, uint32_t bit, int on)
{
    HitTarget* t = first_named(obj, name);
    if (!t) return 0;
    t->flags = on ? t->flags | bit : t->flags & ~bit;
    return 1;
}

}  // namespace

int motobj_build_bone_hits(DrawObj* obj, ResHandle bone_model, HitGroup group)
{
    MotionObj* m = motobj_work(obj);
    if (!m) return 0;
    const uint32_t keep =
        m->bone_hits ? m->bone_hits->flags & (HIT_HITTABLE | HIT_GROUND) : HIT_HITTABLE;
    obj3d_hit_release(&m->bone_hits);
    const ResHandle tree = bone_model == MOTOBJ_PLAYER_BONES ? m->player->model : bone_model;
    const HitOwnerId owner = hit_next_id();
    HitTarget* last = nullptr;
    int count = 0;
    for (BoneWork* b = m->player->bones; b; b = b->next) {
        const ResHandle coll = bone_coll(tree, b->name);
        HitTarget* t = coll ? hit_target_add_model(coll, &b->world, group, owner, nullptr,
                                                   reinterpret_cast<HitWord>(b->name))
                            : nullptr;
        if (!t) continue;
        t->flags = (t->flags & ~(HIT_HITTABLE | HIT_GROUND)) | keep;
        if (last)
            hit_target_set_chain(last, t);
        else
            m->bone_hits = t;
        last = t;
        count++;
    }
    return count;
}

void motobj_hit_release(DrawObj* obj)
{
    if (MotionObj* m = motobj_work(obj)) obj3d_hit_release(&m->bone_hits);
}

uint32_t motobj_hit_result_count(DrawObj* obj)
{
    MotionObj* m = motobj_work(obj);
    return m ? obj3d_hit_result_count(m->bone_hits) : 0;
}

int motobj_hit_result(DrawObj* obj, uint32_t n, HitResult* out)
{
    MotionObj* m = motobj_work(obj);
    return m ? obj3d_hit_result(m->bone_hits, n, out) : 0;
}

void motobj_hit_set_hittable(DrawObj* obj, int on)
{
    if (MotionObj* m = motobj_work(obj)) obj3d_hit_set_bits(m->bone_hits, HIT_HITTABLE, on);
}

void motobj_hit_enable(DrawObj* obj, int on)
{
    if (MotionObj* m = motobj_work(obj)) obj3d_hit_set_bits(m->bone_hits, HIT_GROUND, on);
}

int motobj_hit_set_hittable_by_name(DrawObj* obj, const char* name, int on)
{
    return set_named_bit(obj, name, HIT_HITTABLE, on);
}

int motobj_hit_enable_by_name(DrawObj* obj, const char* name, int on)
{
    return set_named_bit(obj, name, HIT_GROUND, on);
}

HitOwnerId motobj_hit_id(DrawObj* obj)
{
    MotionObj* m = motobj_work(obj);
    return m ? bone_hit_owner(m) : 0;
}

int motobj_hit_count(DrawObj* obj)
{
    MotionObj* m = motobj_work(obj);
    return m ? obj3d_hit_count(m->bone_hits) : 0;
}

HitTarget* motobj_hit_at(DrawObj* obj, int n)
{
    MotionObj* m = motobj_work(obj);
    return m ? obj3d_hit_at(m->bone_hits, n) : nullptr;
}

void motobj_hit_debug_draw(DrawObj* obj, int, int as_model)
{
    if (MotionObj* m = motobj_work(obj)) obj3d_hit_debug_draw(obj->group, m->bone_hits, as_model);
}
