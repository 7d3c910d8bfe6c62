// The resource manager's meshes, with the subset and mesh-bone pools filled
// beside each, and the mesh lists: chains of mesh nodes taken from a fixed
// free list.
#include "res/res_local.h"

#include <algorithm>
#include <array>

#include "util/pool_list.h"

using namespace res_local;

// ==== meshes ========================================================================================

ResHandle res_mesh_register(const char* group, const char* name, MeshSource& src,
                            uint32_t mesh_flags)
{
    RegStart r = reg_start(RES_MESH, group, name);
    if (r.existing || !r.ok) return r.existing;
    Pool& mp = g.pool[RES_MESH];
    Pool& sp = g.pool[RES_SUBSET];
    Pool& bp = g.pool[RES_MBONE];
    // The mesh-bone pool must have room even for a mesh without bones.
    if (!sp.entries || !bp.entries || uint32_t(sp.used) >= sp.capacity ||
        uint32_t(bp.used) >= bp.capacity)
        return 0;

    const uint32_t subset_name_at = sp.names.cursor, bone_name_at = bp.names.cursor;
    const char* nrm_group = nullptr;
    if (mesh_flags & NAME_FLAG_NRM) {
        std::array<char, RES_NAME_WORK> g_nrm;
        if (r.group && name_join(g_nrm, r.group, "NRM")) nrm_group = res_cat_register(g_nrm.data());
    }
    for (MeshSubsetSrc& s : src.subsets) {
        for (uint32_t j = 0; j < s.slot_count && j < MDL_SUBSET_SLOTS; j++) {
            std::array<char, RES_NAME_WORK> stem;
            s.slot_group[j] = r.group;
            s.slot_name[j] =
                stem_of(s.slot_name[j], stem) ? intern(sp.names, stem.data()) : nullptr;
        }
        if (!(mesh_flags & NAME_FLAG_NRM) || s.slot_count == 0 || !s.slot_name[0]) continue;
        // Normal map in slot 1, specular map in slot 2, from the "<group>_NRM" group.
        const char* suffix[2] = {"normal", "specular"};
        for (uint32_t k = 0; k < ((mesh_flags & NAME_FLAG_SPC) ? 2u : 1u); k++) {
            std::array<char, RES_NAME_WORK> joined;
            s.slot_group[1 + k] = nrm_group;
            s.slot_name[1 + k] = name_join(joined, s.slot_name[0], suffix[k])
                                     ? intern(sp.names, joined.data())
                                     : nullptr;
        }
        s.slot_count = (mesh_flags & NAME_FLAG_SPC) ? 3 : 2;
    }
    for (MeshBoneSrc& b : src.bones) b.name = intern(bp.names, b.name);

    MeshEntry& e = *entry<MeshEntry>(RES_MESH, mp.used++);
    e = MeshEntry{};
    uint32_t ns = 0, nb = 0;
    if (!mdl_build_vertex_buffer(e.mesh, src, entry<MeshSubset>(RES_SUBSET, sp.used),
                                 sp.capacity - 1 - uint32_t(sp.used),
                                 entry<MeshBone>(RES_MBONE, bp.used),
                                 bp.capacity - 1 - uint32_t(bp.used), &ns, &nb, mesh_flags)) {
        mp.used--;
        e = MeshEntry{};
        return 0;
    }
    e.subset_name_at = subset_name_at;
    e.bone_name_at = bone_name_at;
    e.name_at = mp.names.cursor;
    fill_head(e.h, r.group, intern(mp.names, name), name);
    e.bytes = mdl_buffer_bytes(e.mesh);
    g.vertex_bytes += e.bytes;
    sp.used += int32_t(ns);
    bp.used += int32_t(nb);
    raise_high(mp);
    raise_high(sp);
    raise_high(bp);
    return res_index_to_handle(mp.used - 1);
}

ResHandle res_mesh_create_blank(const char* group, const char* name, uint32_t tris)
{
    if (tris == 0 || tris > 0x05555555u) return 0;
    MeshSource s{};
    s.vertex_count = 3 * tris;
    s.positions.assign(3ull * s.vertex_count, 0.0f);
    s.normals.assign(3ull * s.vertex_count, 0.0f);
    s.uv0.assign(2ull * s.vertex_count, 0.0f);
    s.tex_sets[0] = {s.uv0.data(), 2};
    s.tex_set_count = 1;
    s.index_bits = 32;
    MeshSubsetSrc sub{};
    sub.first = 0;
    sub.last = tris - 1;
    sub.slot_count = 1;  // one slot without a name: the caller binds it
    s.subsets.push_back(sub);
    return res_mesh_register(group, name, s, 0);
}

void res_mesh_bind_textures()
{
    for (int32_t i = 0; i < g.pool[RES_MESH].used; i++) {
        MeshEntry* e = entry<MeshEntry>(RES_MESH, i);
        MeshBuffers& m = e->mesh;
        m.first_textured = -1;
        for (uint32_t s = 0; s < m.subset_count; s++) {
            MeshSubset& sub = m.subsets[s];
            for (uint32_t j = 0; j < sub.slot_count && j < MDL_SUBSET_SLOTS; j++) {
                if (!sub.slot_name[j] || !sub.slot_name[j][0]) {
                    sub.slot_tex[j] = 0;
                    continue;
                }
                if (sub.slot_tex[j]) continue;
                sub.slot_tex[j] = res_tex_find(sub.slot_group[j], sub.slot_name[j]);
                if (!sub.slot_tex[j] && j == 1 && (m.caller_word & NAME_FLAG_NRM))
                    sub.slot_tex[j] = res_tex_nrm();
                if (!sub.slot_tex[j] && j == 2 && (m.caller_word & NAME_FLAG_SPC))
                    sub.slot_tex[j] = res_tex_black();
            }
            if (m.first_textured < 0 && sub.slot_tex[0]) m.first_textured = int32_t(s);
        }
    }
}

const MeshBuffers* res_mesh_get_object(ResHandle h)
{
    MeshEntry* e = get<MeshEntry>(RES_MESH, h);
    return e ? &e->mesh : nullptr;
}

uint32_t res_mesh_flags(ResHandle h)
{
    MeshEntry* e = get<MeshEntry>(RES_MESH, h);
    return e ? e->mesh.caller_word : 0;
}

void res_mesh_release(ResHandle h)
{
    MeshEntry* e = get<MeshEntry>(RES_MESH, h);
    if (!e) return;
    g.vertex_bytes -= e->bytes;
    g.pool[RES_SUBSET].names.cursor = e->subset_name_at;
    g.pool[RES_MBONE].names.cursor = e->bone_name_at;
    g.pool[RES_MESH].names.cursor = e->name_at;
    mdl_release_vertex_buffer(e->mesh);
    *e = MeshEntry{};
}

uint32_t res_vertex_bytes() { return g.vertex_bytes; }

// ==== mesh lists =======================================================================================

void res_mlist_init()
{
    std::fill_n(g.ml_nodes, g.ml_capacity, ResMeshListNode{});
    pool_list_init(g.ml_nodes, int(g.ml_capacity), g.ml_free);
    g.ml_next = g.ml_last = nullptr;
    g.ml_taken = 0;
    g.ml_used = 0;
}

void res_mlist_begin()
{
    g.ml_next = g.ml_free;
    g.ml_last = nullptr;
    g.ml_taken = 0;
}

bool res_mlist_add(const char* group, const char* mesh, const uint32_t* caller_word)
{
    ResHandle h = res_mesh_find(group, mesh);
    if (!h || !g.ml_next) return false;
    ResMeshListNode* n = g.ml_next;
    ResMeshListNode* next = n->next;
    *n = ResMeshListNode{};
    n->mesh = h;
    n->caller_word = caller_word ? *caller_word : 0;
    n->minus_one = -1;
    n->zero = 0.0f;
    n->object = res_mesh_get_object(h);
    n->next = next;
    g.ml_last = n;
    g.ml_next = next;
    g.ml_taken++;
    return true;
}

bool res_mlist_end(ResMeshListNode** out_head)
{
    bool any = g.ml_taken > 0;
    ResMeshListNode* head = any ? g.ml_free : nullptr;
    if (any) {
        g.ml_free = g.ml_next;
        g.ml_last->next = nullptr;
    }
    if (out_head) *out_head = head;
    g.ml_used += int32_t(g.ml_taken);
    if (g.ml_used > g.ml_high) g.ml_high = g.ml_used;
    g.ml_next = g.ml_last = nullptr;
    g.ml_taken = 0;
    return any;
}

void res_mlist_free(ResMeshListNode* head)
{
    if (!head) return;
    int32_t n = 1;
    ResMeshListNode* last = head;
    while (last->next) {
        last = last->next;
        n++;
    }
    last->next = g.ml_free;
    g.ml_free = head;
    g.ml_used -= n;
}

uint32_t* res_mlist_scratch() { return g.ml_scratch; }
int32_t res_mlist_used() { return g.ml_used; }
