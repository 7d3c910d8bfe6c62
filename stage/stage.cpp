// Stage objects: the stage table, the loading steps and the node lookups.
#include "stage/stage.h"
#include "stage/stage_local.h"

#include <cstring>

#include "disp/cam.h"
#include "disp/disp_env.h"
#include "disp/fog.h"
#include "math/vm_mat.h"
#include "math/vm_vec.h"
#include "obj3d/obj3d.h"
#include "res/resload.h"

namespace {

StageState st;
uint32_t scratch;

constexpr uint32_t STAGE_LOAD_MIPMAPS = 2;  // load flags of the stage group

const StageNodeHook STAGE_NO_HOOKS[] = {{nullptr, nullptr, nullptr, nullptr, nullptr}};
void hook_clear_scratch() { scratch = 0; }
void hook_read_group() { (void)stage_set_group(); }
void hook_nothing() {}

const StageKey STAGE_KEY_TABLE[STAGE_COUNT][STAGE_KEYS] = {{{0, nullptr},
                                                            {1, nullptr},
                                                            {2, nullptr},
                                                            {4, nullptr},
                                                            {8, nullptr},
                                                            {0x20, nullptr},
                                                            {0x10, nullptr},
                                                            {0x40, nullptr}}};

const StageDef* row_of(int index)
{
    return index >= 0 && index < STAGE_COUNT ? &STAGE_TABLE[index] : nullptr;
}

void apply_display_settings(const StageDef& d)
{
    constexpr int s = 0;
    fog_set_enable(s, 1);
    fog_set_start(s, d.fog_start);
    fog_set_end(s, d.fog_end);
    fog_set_color(s, d.fog_color);
    env_set_light_dir(s, &d.light_dir);
    env_set_light_dir2(s, &d.light_dir2);
    env_set_color0(s, d.colors[0]);
    env_set_color1(s, d.colors[1]);
    env_set_color2(s, d.colors[2]);
    env_set_color3(s, d.colors[3]);
    cam_set_fov(s, d.fov);
    cam_set_near_far(s, d.znear, d.zfar, d.cull_far);
}

// The name of the given mesh's prefix (up to its first underscore) followed
// by suffix into name; the mesh's group, or null when there is no such name.
const char* sibling_name(ResHandle mesh, const char* suffix, char* name, size_t size)
{
    const char* group = mesh ? res_mesh_group(mesh) : nullptr;
    char prefix[STAGE_NAME_MAX + 1];
    if (!group || !stage_name_cut_first(prefix, sizeof prefix, res_mesh_name(mesh))) return nullptr;
    return stage_name_join(name, size, prefix, suffix) ? group : nullptr;
}

ResHandle sibling_mesh(ResHandle mesh, const char* suffix)
{
    char name[STAGE_NAME_MAX + 1];
    const char* group = sibling_name(mesh, suffix, name, sizeof name);
    return group ? res_mesh_find(group, name) : 0;
}

}  // namespace

const StageDef STAGE_TABLE[STAGE_COUNT] = {{
    "stage",
    "s1",
    500.0f,
    1000.0f,
    0xFFFFFFFFu,
    {-1.0f, -1.0f, 0.0f},
    {0.0f, 1.0f, 0.0f},
    {0x141414u, 0x141414u, 0xFFFFFFFFu, 0xFFFFFFFFu},
    1.0471976f,
    0.1f,
    500.0f,
    500.0f,
    80.0f,
    140.0f,
    STAGE_NO_HOOKS,
    hook_clear_scratch,
    hook_read_group,
    hook_nothing,
    hook_nothing,
}};

int stage_init(int index, int caller)
{
    const StageDef* d = row_of(index);
    if (!d) return 0;
    st = StageState{};
    st.group = group_alloc();
    st.caller = caller;
    res_mark(st.mark);
    stage_set_init();
    st.index = index;
    stage_name_join(st.dummy, sizeof st.dummy, d->data_name, "_dummy");
    st.live = 1;
    return 1;
}

int stage_init_default(int index) { return stage_init(index, -1); }

int stage_load()
{
    const StageDef* d = st.live ? row_of(st.index) : nullptr;
    if (!d) return 0;
    switch (st.step) {
    case 0:
        if (d->data_name) resload_request(d->data_name, STAGE_LOAD_MIPMAPS);
        apply_display_settings(*d);
        st.step = 1;
        return 0;
    case 1:
        if (resload_pump(STAGE_LOAD_SHARE) != RESLOAD_IDLE) return 0;
        scratch = 0;
        if (d->before_set) d->before_set();
        if (d->data_name) stage_set_load(d->data_name, d->data_name, d->hooks, 0);
        if (d->after_set) d->after_set();
        st.step = 2;
        return 0;
    default:
        if (d->done) d->done();
        return 1;
    }
}

void stage_release()
{
    // A mark that no stage_init took would release every pool to empty.
    if (!st.live) return;
    if (const StageDef* d = row_of(st.index); d && d->on_release) d->on_release();
    stage_set_release();
    res_release_to_mark(st.mark);
    group_release(st.group);
    group_free(st.group);
    st = StageState{};
}

const StageState& stage_state() { return st; }

const char* stage_row_name(int index)
{
    const StageDef* d = row_of(index);
    return d ? d->row_name : nullptr;
}

int stage_index() { return st.index; }

const char* stage_data_name()
{
    const StageDef* d = row_of(st.index);
    return d ? d->data_name : nullptr;
}

void* stage_find_entry(int index, uint32_t key)
{
    if (!row_of(index)) return nullptr;
    for (const StageKey& k : STAGE_KEY_TABLE[index])
        if (k.key == key) return k.ptr;
    return nullptr;
}

void* stage_entry(uint32_t key) { return stage_find_entry(st.index, key); }

int stage_dummy_node_matrix(Mat44* out, const char* node)
{
    const char* data = stage_data_name();
    if (!out || !node || !data || !st.dummy[0]) return 0;
    return res_bone_node_matrix(res_bone_find(data, st.dummy), node, out->m) ? 1 : 0;
}

void stage_tex_set_address(const char* group, const char* const* names, int count)
{
    if (!names) return;
    for (int i = 0; i < count; i++)
        if (ResHandle h = res_tex_find(group, names[i])) res_tex_set_address(h, 1, 1);
}

int stage_node_switch(ResHandle mesh, Vec3* out_centre, float* out_radius)
{
    MeshBounds b{};
    if (!out_centre || !out_radius || !mesh_bounds(sibling_mesh(mesh, "_switch_nodisp"), &b))
        return 0;
    *out_centre = b.centre;
    *out_radius = b.radius;
    return 1;
}

int stage_node_target(ResHandle mesh, Vec3* out_centre)
{
    MeshBounds b{};
    if (!out_centre || !mesh_bounds(sibling_mesh(mesh, "_tgt_nodisp"), &b)) return 0;
    *out_centre = b.centre;
    return 1;
}

int stage_node_lookat(ResHandle mesh, Mat44* out, const Vec3* pos, int mode)
{
    if (!out || !pos) return 0;
    MeshBounds b{};
    if ((mode != 0 && mode != 1) || !mesh_bounds(sibling_mesh(mesh, "_lookat_nodisp"), &b)) {
        vm_mat_identity(out);
        out->m[12] = pos->x;
        out->m[13] = pos->y;
        out->m[14] = pos->z;
        return 0;
    }
    if (mode == 0) {
        vm_mat_aim_at(out, pos, &b.centre, nullptr, 0);
        return 1;
    }
    Vec3 angles{};
    vm_vec3_direction_angles(&angles, pos, &b.centre);
    angles.x = 0.0f;
    vm_mat_from_pos_angles(out, pos, &angles);
    return 1;
}

ResHandle stage_node_path(ResHandle mesh)
{
    char name[STAGE_NAME_MAX + 1];
    const char* group = sibling_name(mesh, "_path", name, sizeof name);
    return group ? res_anime_find(group, name) : 0;
}
