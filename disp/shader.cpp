// The shader library: records, loading and compiling, the engine constants
// and the per-draw set-up.
//
// Sections: 1 work block and tables  2 loading  3 start, stop, per frame
//           4 per-draw values  5 register upload  6 set-up and parameters
#include "disp/shader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "svc/txt_settings.h"
#include "disp/cam.h"
#include "disp/d3d9.h"
#include "disp/disp_env.h"
#include "disp/disp_work.h"
#include "disp/fog.h"
#include "res/mesh_buf.h"
#include "disp/plight.h"
#include "disp/tex.h"
#include "math/vm_color.h"
#include "math/vm_mat.h"
#include "math/vm_vec.h"
#include "plat/files.h"
#include "plat/log_text.h"
#include "plat/gfx_draw.h"

// ===========================================================================
// 1 Work block and tables
// ===========================================================================
namespace {

struct FileRow {
    const char* file;
    const char* front;
};
const std::array<FileRow, SHADER_RECORD_COUNT> SHADER_FILE_ROWS = {{
    {"normal.txt", nullptr},
    {"color.txt", nullptr},
    {"decal.txt", nullptr},
    {"phong.txt", nullptr},
    {"plphong.txt", "#define NR_POINT_LIGHT  1"},
    {"plphong.txt", "#define NR_POINT_LIGHT  2"},
    {"plphong.txt", "#define NR_POINT_LIGHT  3"},
    {"plphong.txt", "#define NR_POINT_LIGHT  4"},
    {"normalmap.txt", nullptr},
    {"plnormalmap.txt", "#define NR_POINT_LIGHT  1"},
    {"plnormalmap.txt", "#define NR_POINT_LIGHT  2"},
    {"plnormalmap.txt", "#define NR_POINT_LIGHT  3"},
    {"plnormalmap.txt", "#define NR_POINT_LIGHT  4"},
}};

// The fixed record of each set; sets 3 and 4 add the point-light count.
const std::array<int, SHADER_SET_COUNT> SHADER_SET_BASE = {0, 1, 2, 3, 8};

const char* const SHADER_DUMP_NAMES[SHADER_STAGE_COUNT] = {"_%s_vs.txt", "_%s_svs.txt",
                                                           "_%s_ps.txt"};
const int SHADER_SECTION_OF_STAGE[SHADER_STAGE_COUNT] = {
    SHADER_SECTION_VERTEX, SHADER_SECTION_SKIN_VERTEX, SHADER_SECTION_PIXEL};

struct ShaderWork {
    std::array<ShaderRecord, SHADER_RECORD_COUNT> rec;
    // per draw
    const Mat44* world;
    Mat44 inv_world;
    const Mat44* inv;  // null without a world
    float eye[4], light_vec[4], hs_up[4], sub_light_vec[4];
    float sky[4], gnd[4], diffuse[4], specular[4], sub_diffuse[4];
    Mat44 palette[SHADER_PALETTE_MAX];
    int palette_count;
    float pl_pos[SHADER_LIGHTS_MAX][4], pl_color[SHADER_LIGHTS_MAX][4];
    float rate;
    int pl_count;
    int screen;
    // per view
    const XformSet* view;
    Mat44 shadow_tex[2];
    // per frame
    float fog[DISP_SCREENS][4], far_param[DISP_SCREENS][4];
    // bindings
    int key = -1, fmt = -1, max_sampler = 0;
    int out_source = 0, out_info = 0, out_asm = 0;
    int booted = 0;
    uint64_t binds = 0;
};
ShaderWork g_sh;

void set4(float* d, float x, float y, float z, float w) { d[0] = x, d[1] = y, d[2] = z, d[3] = w; }

}  // namespace

// ===========================================================================
// 2 Loading
// ===========================================================================

const char* shader_row_file(int row)
{
    return (row >= 0 && row < SHADER_RECORD_COUNT) ? SHADER_FILE_ROWS[row].file : nullptr;
}
const char* shader_row_front_line(int row)
{
    return (row >= 0 && row < SHADER_RECORD_COUNT) ? SHADER_FILE_ROWS[row].front : nullptr;
}

void shader_release_record(ShaderRecord* rec)
{
    for (ShaderStage& st : rec->stage) {
        if (st.shader) gfx_shader_release(st.shader);
        st = ShaderStage{};
    }
    rec->params.clear();
}

namespace {
void add_regs(const std::vector<ShaderDecl>& decls, ShaderStage* st)
{
    for (const ShaderDecl& d : decls) {
        GfxConstHandle h = gfx_const_by_name(st->shader, d.name.c_str());
        if (!h) continue;
        ShaderReg r;
        r.name = d.name;
        r.type = d.type;
        r.count = d.count;
        r.const_id = d.const_id;
        r.handle = h;
        r.sampler_stage = gfx_const_sampler_stage(st->shader, h);
        st->regs.push_back(std::move(r));
    }
}
int compile_stage(GfxShaderKind kind, const char* entry, const char* profile,
                  const std::string& source, const std::vector<ShaderDecl>& section_regs,
                  const std::vector<ShaderDecl>& common_regs, ShaderStage* out)
{
    *out = ShaderStage{};
    if (source.empty()) return 0;
    out->shader =
        gfx_shader_compile(kind, source.data(), source.size(), entry, profile, nullptr, 0);
    if (!out->shader) return 0;
    out->loaded = 1;
    add_regs(common_regs, out);
    add_regs(section_regs, out);
    return 1;
}

const char* or_default(const char* given, const char* fallback)
{
    return given && *given ? given : fallback;
}

}  // namespace

int shader_compile_vertex_stage(ShaderStage* stage, const char* entry, const char* profile,
                                const std::string& source,
                                const std::vector<ShaderDecl>& section_regs,
                                const std::vector<ShaderDecl>& common_regs, bool skinned)
{
    return compile_stage(skinned ? GFX_SHADER_SKINNED_VERTEX : GFX_SHADER_VERTEX,
                         or_default(entry, "VsMain"), or_default(profile, "vs_1_1"), source,
                         section_regs, common_regs, stage);
}

int shader_compile_pixel_stage(ShaderStage* stage, const char* entry, const char* profile,
                               const std::string& source,
                               const std::vector<ShaderDecl>& section_regs,
                               const std::vector<ShaderDecl>& common_regs)
{
    return compile_stage(GFX_SHADER_PIXEL, or_default(entry, "PsMain"),
                         or_default(profile, "ps_2_0"), source, section_regs, common_regs, stage);
}

namespace {

void dump_source(const std::string& folder, const char* file, int stage, const std::string& src)
{
    char stem[256];
    if (!name_file_stem(stem, file)) return;
    char name[300];
    std::snprintf(name, sizeof name, SHADER_DUMP_NAMES[stage], stem);
    std::string path = folder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    path += name;
    // Written as every file is: never through a hostile link, never waiting on a pipe.
    const std::string target = plat_path_for_write(path);
    std::string why;
    const auto* bytes = reinterpret_cast<const uint8_t*>(src.data());
    if (!plat_write_file(target, {bytes, src.size()}, &why))
        plat_log_line("shader: source not written \"%s\": %s", target.c_str(), why.c_str());
}

// Caller registers take the offset of their parameter; one without a
// parameter (left out of the 92-byte block) is not uploaded.
void assign_offsets(ShaderRecord* rec, const std::vector<ShaderParam>& params)
{
    for (ShaderStage& st : rec->stage) {
        std::erase_if(st.regs, [&](ShaderReg& r) {
            if (r.const_id != SHADER_CONST_NONE) return false;
            for (const ShaderParam& p : params)
                if (p.name == r.name) {
                    r.offset = p.offset;
                    return false;
                }
            return true;
        });
    }
}

}  // namespace

void shader_load_file(int row, const std::string& folder, ShaderRecord* rec)
{
    shader_release_record(rec);
    const char* file = shader_row_file(row);
    if (!file) return;
    ShaderFileText text;
    if (!shader_file_read(folder, file, &text)) return;
    const ShaderSection& common = text.section[SHADER_SECTION_COMMON];
    for (int st = 0; st < SHADER_STAGE_COUNT; ++st) {
        const ShaderSection& sec = text.section[SHADER_SECTION_OF_STAGE[st]];
        if (!sec.present) continue;
        std::string src =
            shader_file_assemble(text, SHADER_SECTION_OF_STAGE[st], shader_row_front_line(row));
        if (g_sh.out_source) dump_source(folder, file, st, src);
        if (!shader_file_within_budget(text, SHADER_SECTION_OF_STAGE[st], src.size())) {
            // Refused like a stage that does not compile: drawn fixed-function.
            static const char* const SHADER_STAGE_NAMES[] = {"vertex", "skinned vertex", "pixel"};
            plat_log_line("shader: %s %s stage refused: source over %zu bytes or %d includes", file,
                          SHADER_STAGE_NAMES[st], SHADER_SECTION_TEXT_MAX, SHADER_INCLUDE_MAX);
            continue;
        }
        const char* entry = sec.entry.c_str();
        const char* profile = sec.profile.c_str();
        if (st == SHADER_STAGE_PIXEL)
            shader_compile_pixel_stage(&rec->stage[st], entry, profile, src, sec.decls,
                                       common.decls);
        else
            shader_compile_vertex_stage(&rec->stage[st], entry, profile, src, sec.decls,
                                        common.decls, st == SHADER_STAGE_SKIN_VERTEX);
    }
    shader_file_params(text, &rec->params);
    assign_offsets(rec, rec->params);
}

void shader_load_all()
{
    const char* path = txt_settings_get_string("SHADER_PATH");
    std::string folder = plat_path_native(path ? path : ".\\data\\sh\\");
    if (!plat_is_dir(folder)) return;
    for (int row = 0; row < SHADER_RECORD_COUNT; ++row)
        shader_load_file(row, folder, &g_sh.rec[row]);
    // The point-light records are filled through their base record's
    // parameter list, so they read the block at the base record's offsets.
    for (int set = 3; set <= 4; ++set) {
        const int base = SHADER_SET_BASE[set];
        for (int n = 1; n <= SHADER_LIGHTS_MAX; ++n)
            assign_offsets(&g_sh.rec[base + n], g_sh.rec[base].params);
    }
}

// ===========================================================================
// 3 Start, stop, per frame
// ===========================================================================

void shader_init()
{
    shader_term();
    g_sh.out_source = txt_settings_get_int_or("OUTPUT_SHADER_SOURCE_TEXT", 0);
    g_sh.out_info = txt_settings_get_int_or("OUTPUT_SHADER_INFO", 0);
    g_sh.out_asm = txt_settings_get_int_or("OUTPUT_SHADER_ASM_TEXT", 0);
    shader_load_all();
    shader_begin_view();
    if (!disp_links().mesh_setup) {
        DispLinks links = disp_links();
        links.mesh_setup = shader_setup_mesh;
        disp_set_links(links);
    }
    g_sh.booted = 1;
}

void shader_term()
{
    // Unbind first: a stage still bound must not outlive its program, and the
    // next draw must bind again.
    if (g_sh.key != -1 || g_sh.booted) {
        gfx_set_vertex_shader(nullptr);
        gfx_set_pixel_shader(nullptr);
    }
    for (ShaderRecord& r : g_sh.rec) shader_release_record(&r);
    const uint64_t binds = g_sh.binds;
    g_sh = ShaderWork{};
    g_sh.binds = binds;
}

int shader_booted() { return g_sh.booted; }

void shader_frame_constants()
{
    g_sh.key = g_sh.fmt = -1;
    for (int s = 0; s < DISP_SCREENS; ++s) {
        const float far = cam_get_far(s);
        float a = far, b = far + 1.0f;
        if (fog_get_enable(s)) fog_get_range(s, &a, &b);  // start == end kept apart
        set4(g_sh.fog[s], -1.0f / (b - a), b / (b - a), -1.0f, 1.0f);
        set4(g_sh.far_param[s], -1.0f, far + 1.0f, -1.0f, 1.0f);
    }
}

void shader_begin_view()
{
    g_sh.view = cam_get_selected_xform_set();
    const int s = cam_get_cur_screen();
    for (int j = 0; j < 2; ++j) {
        const XformSet* set = cam_get_xform_set(cam_shadow_set_index(s, j));
        vm_mat_texture_bias(&g_sh.shadow_tex[j], set ? &set->view_proj : &VM_MAT_IDENTITY);
    }
}

// ===========================================================================
// 4 Per-draw values
// ===========================================================================
namespace {

void to_object_point(float out[4], const Vec3& p)
{
    Vec3 o = p;
    if (g_sh.inv) vm_mat_transform_point(&o, g_sh.inv, &p);
    set4(out, o.x, o.y, o.z, 1.0f);
}

void to_object_dir(float out[4], const Vec3& d, bool renormalise)
{
    Vec3 o = d;
    if (g_sh.inv) vm_mat_transform_vector(&o, g_sh.inv, &d);
    if (renormalise) vm_vec3_normalize(&o, &o);
    set4(out, o.x, o.y, o.z, 0.0f);
}

// The float form with red, green and blue scaled; alpha as it is.
void argb_to_f(float out[4], uint32_t c, float scale)
{
    color_to_f4(out, c);
    for (int i = 0; i < 3; ++i) out[i] *= scale;
}

void mul4(float out[4], const float* a, const float* b)
{
    for (int i = 0; i < 4; ++i) out[i] = a[i] * b[i];
}

void eye_and_lights(int s)
{
    const Mat44& c2w = g_sh.view ? g_sh.view->cam_to_world : VM_MAT_IDENTITY;
    to_object_point(g_sh.eye, Vec3{c2w.m[12], c2w.m[13], c2w.m[14]});
    const EnvValues* env = env_get_block(s);
    to_object_dir(g_sh.light_vec, Vec3{-env->light_dir.x, -env->light_dir.y, -env->light_dir.z},
                  true);
    to_object_dir(g_sh.hs_up, env->hemi_dir, true);
    const Vec3& sub = lset_get_cur(s, 0)->dir;
    to_object_dir(g_sh.sub_light_vec, Vec3{-sub.x, -sub.y, -sub.z}, false);
}

void material_colors(const ShaderMaterial* m, int s)
{
    if (!m) {
        set4(g_sh.sky, 0, 0, 0, 0);
        set4(g_sh.gnd, 0, 0, 0, 0);
        set4(g_sh.diffuse, 1, 1, 1, 1);
        set4(g_sh.specular, 0, 0, 0, 0);
        set4(g_sh.sub_diffuse, 0, 0, 0, 0);
        return;
    }
    float amb[4], dif[4], spc[4], emi[4];
    argb_to_f(amb, m->ambient, m->scale);
    argb_to_f(dif, m->diffuse, m->scale);
    argb_to_f(spc, m->specular, m->scale);
    argb_to_f(emi, m->emissive, 1.0f);
    if (disp_rstate_raw_lighting() == 1) {
        if (lset_get_enable(s, 0))
            mul4(g_sh.sub_diffuse, dif, lset_get_color_f(s, 0));
        else
            set4(g_sh.sub_diffuse, 0, 0, 0, 0);
        mul4(g_sh.sky, amb, env_get_color0_f(s));
        mul4(g_sh.gnd, amb, env_get_color1_f(s));
        for (int i = 0; i < 4; ++i) g_sh.sky[i] += emi[i], g_sh.gnd[i] += emi[i];
        mul4(g_sh.diffuse, dif, env_get_color2_f(s));
        mul4(g_sh.specular, spc, env_get_color3_f(s));
        g_sh.specular[3] = m->power;
    } else {
        set4(g_sh.sub_diffuse, 0, 0, 0, 0);
        set4(g_sh.sky, 1, 1, 1, 0);
        set4(g_sh.gnd, 1, 1, 1, 0);
        set4(g_sh.diffuse, 0, 0, 0, 1);
        set4(g_sh.specular, 0, 0, 0, 0);
    }
    if (!(g_sh.specular[3] >= 0.1f)) g_sh.specular[3] = 0.1f;
}

void point_lights(const void* list, int count)
{
    auto lights = static_cast<const PointLight* const*>(list);
    g_sh.pl_count = lights ? std::clamp(count, 0, SHADER_LIGHTS_MAX) : 0;
    for (int i = 0; i < g_sh.pl_count; ++i) {
        const PointLight* l = lights[i];
        to_object_point(g_sh.pl_pos[i], l->pos);
        g_sh.pl_pos[i][3] = l->range;
        std::memcpy(g_sh.pl_color[i], l->color_f, sizeof l->color_f);
    }
}

const ShaderBone* find_bone(const ShaderSkeleton& sk, const MeshBone& ref)
{
    for (int b = 0; b < sk.bone_count; ++b)
        if (sk.bones[b].id == ref.hash && sk.bones[b].name && ref.name &&
            std::strcmp(sk.bones[b].name, ref.name) == 0)
            return &sk.bones[b];
    return nullptr;
}

// The palette holds at most 128 entries; a bone the skeleton lacks leaves
// its entry as it was.
void bone_palette(const ShaderSkeleton* sk, const MeshBuffers* mesh)
{
    g_sh.palette_count = 0;
    if (!sk || !mesh || !mesh->bones) return;
    const int refs = std::min<int>(int(std::min<uint32_t>(mesh->bone_count, SHADER_PALETTE_MAX)),
                                   SHADER_PALETTE_MAX);
    const bool own = sk->own_mesh == mesh;
    for (int i = 0; i < refs; ++i) {
        if (own) {
            if (i < sk->bone_count && sk->bones[i].matrix) g_sh.palette[i] = *sk->bones[i].matrix;
        } else if (const ShaderBone* b = find_bone(*sk, mesh->bones[i]); b && b->matrix) {
            Mat44 offset;
            std::memcpy(offset.m, mesh->bones[i].matrix, sizeof offset.m);
            vm_mat_mul(&g_sh.palette[i], b->matrix, &offset);
        }
        ++g_sh.palette_count;
    }
}

// ===========================================================================
// 5 Register upload
// ===========================================================================

void world_then(Mat44* out, const Mat44& m)
{
    if (g_sh.world)
        vm_mat_mul(out, &m, g_sh.world);
    else
        *out = m;
}

const XformSet& shadow_set()
{
    const XformSet* set = cam_get_xform_set(cam_shadow_set_index(g_sh.screen, 0));
    return set ? *set : *cam_get_xform_set(0);
}

void upload_named(GfxShader* sh, const ShaderReg& r)
{
    const XformSet& view = g_sh.view ? *g_sh.view : *cam_get_xform_set(0);
    const int s = g_sh.screen;
    Mat44 m;
    float v[4];
    switch (r.const_id) {
    case SHADER_CONST_MPAL:
        if (g_sh.palette_count > 0)
            gfx_const_set_matrices(sh, r.handle, g_sh.palette[0].m, g_sh.palette_count);
        break;
    case SHADER_CONST_PVM:
        world_then(&m, view.view_proj);
        gfx_const_set_matrix(sh, r.handle, m.m);
        break;
    case SHADER_CONST_PVOLD:
        gfx_const_set_matrix(sh, r.handle, disp_work().prev[s].view_proj.m);
        break;
    case SHADER_CONST_SPVM:
        world_then(&m, shadow_set().view_proj);
        gfx_const_set_matrix(sh, r.handle, m.m);
        break;
    case SHADER_CONST_SPVMUV:
        world_then(&m, g_sh.shadow_tex[0]);
        gfx_const_set_matrix(sh, r.handle, m.m);
        break;
    case SHADER_CONST_EYEPOS: gfx_const_set_vector(sh, r.handle, g_sh.eye); break;
    case SHADER_CONST_LIGHTVEC: gfx_const_set_vector(sh, r.handle, g_sh.light_vec); break;
    case SHADER_CONST_AMBIENTSKY: gfx_const_set_vector(sh, r.handle, g_sh.sky); break;
    case SHADER_CONST_AMBIENTGND: gfx_const_set_vector(sh, r.handle, g_sh.gnd); break;
    case SHADER_CONST_AMBIENT: gfx_const_set_vector(sh, r.handle, g_sh.sky); break;
    case SHADER_CONST_DIFFUSE: gfx_const_set_vector(sh, r.handle, g_sh.diffuse); break;
    case SHADER_CONST_SPECULAR: gfx_const_set_vector(sh, r.handle, g_sh.specular); break;
    case SHADER_CONST_HSUPVEC: gfx_const_set_vector(sh, r.handle, g_sh.hs_up); break;
    case SHADER_CONST_SUBLIGHTVEC:
        gfx_const_set_vectors(sh, r.handle, g_sh.sub_light_vec, 1);
        break;
    case SHADER_CONST_SUBDIFFUSE: gfx_const_set_vectors(sh, r.handle, g_sh.sub_diffuse, 1); break;
    case SHADER_CONST_FOGPARAM:
        gfx_const_set_vector(sh, r.handle,
                             disp_rstate_raw_fog() == 1 ? g_sh.fog[s] : g_sh.far_param[s]);
        break;
    case SHADER_CONST_PLPOS:
        if (g_sh.pl_count > 0) gfx_const_set_vectors(sh, r.handle, g_sh.pl_pos[0], g_sh.pl_count);
        break;
    case SHADER_CONST_PLCOLOR:
        if (g_sh.pl_count > 0) gfx_const_set_vectors(sh, r.handle, g_sh.pl_color[0], g_sh.pl_count);
        break;
    case SHADER_CONST_SHADOWLIGHTPOS: {
        const Mat44& c2w = shadow_set().cam_to_world;
        to_object_point(v, Vec3{c2w.m[12], c2w.m[13], c2w.m[14]});
        gfx_const_set_vector(sh, r.handle, v);
        break;
    }
    case SHADER_CONST_SHADOWCOLOR:
        gfx_const_set_vector(sh, r.handle,
                             disp_work().subview[s * DISP_SUB_VIEWS_PER_SCREEN].color_f);
        break;
    case SHADER_CONST_NEAR: gfx_const_set_float(sh, r.handle, view.params.znear); break;
    case SHADER_CONST_FAR: gfx_const_set_float(sh, r.handle, view.params.zfar); break;
    case SHADER_CONST_SHADOWNEAR:
        gfx_const_set_float(sh, r.handle, shadow_set().params.znear);
        break;
    case SHADER_CONST_SHADOWFAR: {
        const ProjParams& p = shadow_set().params;
        gfx_const_set_float(sh, r.handle, p.zfar - p.znear);
        break;
    }
    case SHADER_CONST_RATE: gfx_const_set_float(sh, r.handle, g_sh.rate); break;
    default: break;
    }
}

// float2 and float3 elements widened to four floats with zeros.
void upload_vectors(GfxShader* sh, const ShaderReg& r, const uint8_t* p)
{
    const int n = shader_reg_type_size(r.type) / 4;
    std::vector<float> v(size_t(r.count) * 4, 0.0f);
    for (int e = 0; e < r.count; ++e) std::memcpy(&v[size_t(e) * 4], p + e * n * 4, size_t(n) * 4);
    if (r.count >= 2)
        gfx_const_set_vectors(sh, r.handle, v.data(), r.count);
    else
        gfx_const_set_vector(sh, r.handle, v.data());
}

// Matrix parameters (the 3D objects' matrix setters fill them): rows of 3
// or 4 floats as declared, widened to four-float rows.
void upload_matrices(GfxShader* sh, const ShaderReg& r, const uint8_t* p)
{
    const int rows = r.type == 9 ? 3 : 4, cols = r.type == 11 ? 4 : 3;
    std::vector<float> m(size_t(r.count) * 16, 0.0f);
    for (int e = 0; e < r.count; ++e) {
        float* out = &m[size_t(e) * 16];
        out[15] = 1.0f;
        for (int row = 0; row < rows; ++row)
            std::memcpy(out + row * 4, p + (size_t(e) * rows * cols + size_t(row) * cols) * 4,
                        size_t(cols) * 4);
    }
    gfx_const_set_matrices(sh, r.handle, m.data(), r.count);
}

// The block's bytes as values (the block has no alignment of its own).
template <class T>
std::vector<T> block_values(const uint8_t* p, int bytes)
{
    std::vector<T> v(size_t(bytes) / sizeof(T));
    std::memcpy(v.data(), p, v.size() * sizeof(T));
    return v;
}

void upload_caller(GfxShader* sh, const ShaderReg& r, const uint8_t* block)
{
    const int size = shader_reg_type_size(r.type) * r.count;
    if (r.offset < 0 || r.offset + size > SHADER_PARAM_BLOCK) return;
    const uint8_t* p = block + r.offset;
    switch (r.type) {
    case 1: {  // int: one, or an array of two or more
        const std::vector<int> v = block_values<int>(p, size);
        if (r.count >= 2)
            gfx_const_set_ints(sh, r.handle, v.data(), r.count);
        else
            gfx_const_set_int(sh, r.handle, v[0]);
        break;
    }
    case 2:
    case 3:
    case 4: {  // int2..int4: always an array
        const std::vector<int> v = block_values<int>(p, size);
        gfx_const_set_ints(sh, r.handle, v.data(), int(v.size()));
        break;
    }
    case 5: {  // float
        const std::vector<float> v = block_values<float>(p, size);
        if (r.count >= 2)
            gfx_const_set_floats(sh, r.handle, v.data(), r.count);
        else
            gfx_const_set_float(sh, r.handle, v[0]);
        break;
    }
    case 6:
    case 7:
    case 8: upload_vectors(sh, r, p); break;
    case SHADER_REG_SAMPLER: {
        uint32_t handle;
        std::memcpy(&handle, p, 4);
        const TexRecord* t = r.sampler_stage > 0 && handle ? disp_tex_lookup(handle) : nullptr;
        if (!t) break;
        tex_set_stage(r.sampler_stage, t, 1);
        g_sh.max_sampler = std::max(g_sh.max_sampler, r.sampler_stage);
        break;
    }
    case 9:
    case 10:
    case 11: upload_matrices(sh, r, p); break;
    default: break;
    }
}

void upload_stage(const ShaderStage& st, const void* block)
{
    if (!block) return;
    for (const ShaderReg& r : st.regs) {
        if (!r.handle) continue;
        if (r.const_id != SHADER_CONST_NONE)
            upload_named(st.shader, r);
        else
            upload_caller(st.shader, r, static_cast<const uint8_t*>(block));
    }
}

}  // namespace

// ===========================================================================
// 6 Set-up and parameters
// ===========================================================================

namespace {
bool is_pretransformed(int decl)
{
    constexpr uint32_t SHADER_POSITION_MASK = 0x400E, SHADER_XYZ_RHW = 0x004;
    return (disp_lvf_to_fvf(decl) & SHADER_POSITION_MASK) == SHADER_XYZ_RHW;
}
}  // namespace

int shader_sel_phong(int n) { return SHADER_SET_BASE[3] + std::clamp(n, 0, SHADER_LIGHTS_MAX); }
int shader_sel_normalmap(int n) { return SHADER_SET_BASE[4] + std::clamp(n, 0, SHADER_LIGHTS_MAX); }

int shader_record_for_set(int set, int light_count)
{
    if (set < 0 || set >= SHADER_SET_COUNT) return -1;
    if (set == 3) return shader_sel_phong(light_count);
    if (set == 4) return shader_sel_normalmap(light_count);
    return SHADER_SET_BASE[set];
}

int shader_setup_mesh(const RstateMeshArgs& a)
{
    if (a.pass_id < 0 || a.pass_id >= SHADER_MODES || a.shader_set < 0 ||
        a.shader_set >= SHADER_SET_COUNT)
        return 0;
    g_sh.max_sampler = 0;
    g_sh.screen = disp_screen_index(cam_get_cur_screen());
    g_sh.world = reinterpret_cast<const Mat44*>(a.world);
    g_sh.inv = g_sh.world ? vm_mat_inverse(&g_sh.inv_world, g_sh.world) : nullptr;
    eye_and_lights(g_sh.screen);
    material_colors(static_cast<const ShaderMaterial*>(a.material), g_sh.screen);
    g_sh.rate = a.scalar;
    point_lights(a.lights, a.light_count);
    const auto* skin = static_cast<const ShaderSkeleton*>(a.skin);
    bone_palette(skin, static_cast<const MeshBuffers*>(a.mesh));

    // Pre-transformed 2D draws of set 0 stay on the fixed-function stages,
    // whose texture-stage operations (a second stage included) they set.
    const bool fixed = a.shader_set == 0 && is_pretransformed(a.decl);
    const int index = shader_record_for_set(a.shader_set, g_sh.pl_count);
    const int key = fixed ? SHADER_KEY_FIXED : index + (skin ? 65536 : 0);
    const bool changed = key != g_sh.key;
    const bool same = !changed && a.decl == g_sh.fmt;
    static const ShaderRecord SHADER_NO_STAGES;
    const ShaderRecord& rec = fixed ? SHADER_NO_STAGES : g_sh.rec[size_t(index)];

    const ShaderStage& vs = rec.stage[skin ? SHADER_STAGE_SKIN_VERTEX : SHADER_STAGE_VERTEX];
    if (vs.shader) {
        disp_set_lvf_decl(a.decl);
        if (!same) gfx_set_vertex_shader(vs.shader), ++g_sh.binds;
        upload_stage(vs, a.params);
    } else {
        // The format is set on every draw, as the declaration is above: other
        // drawing code sets declarations directly, behind this library.
        gfx_set_fvf(disp_lvf_to_fvf(a.decl));
        if (!same) gfx_set_vertex_shader(nullptr);
        if (g_sh.world) gfx_set_transform(GFX_TS_WORLD, g_sh.world->m);
    }
    const ShaderStage& ps = rec.stage[SHADER_STAGE_PIXEL];
    if (ps.shader) {
        if (changed) gfx_set_pixel_shader(ps.shader), ++g_sh.binds;
        upload_stage(ps, a.params);
    } else {
        gfx_set_pixel_shader(nullptr);
    }
    g_sh.key = key;
    g_sh.fmt = a.decl;
    return changed ? 1 : 0;
}

int shader_set_param(void* block, int set, const char* name, const void* src, int bytes)
{
    if (set < 0 || set >= SHADER_SET_COUNT || !block || !name || !src || bytes <= 0) return 0;
    for (const ShaderParam& p : g_sh.rec[size_t(SHADER_SET_BASE[set])].params) {
        if (p.name != name) continue;
        const int size = std::min(shader_reg_type_size(p.type) * p.count, bytes);
        std::memcpy(static_cast<uint8_t*>(block) + p.offset, src, size_t(size));
        return 1;
    }
    return 0;
}

int shader_get_max_sampler_stage() { return g_sh.max_sampler; }
int shader_get_point_light_count() { return g_sh.pl_count; }
int shader_has_point_lights() { return g_sh.pl_count > 0 ? 1 : 0; }
const ShaderRecord* shader_get_record(int i)
{
    return (i >= 0 && i < SHADER_RECORD_COUNT) ? &g_sh.rec[size_t(i)] : nullptr;
}
const float* shader_get_fog_param(int s) { return g_sh.fog[disp_screen_index(s)]; }
const float* shader_get_far_param(int s) { return g_sh.far_param[disp_screen_index(s)]; }
uint64_t shader_bind_count() { return g_sh.binds; }
int shader_get_key() { return g_sh.key; }
int shader_get_palette_count() { return g_sh.palette_count; }

const float* shader_get_draw_vector(int id)
{
    switch (id) {
    case SHADER_CONST_EYEPOS: return g_sh.eye;
    case SHADER_CONST_LIGHTVEC: return g_sh.light_vec;
    case SHADER_CONST_AMBIENTSKY:
    case SHADER_CONST_AMBIENT: return g_sh.sky;
    case SHADER_CONST_AMBIENTGND: return g_sh.gnd;
    case SHADER_CONST_DIFFUSE: return g_sh.diffuse;
    case SHADER_CONST_SPECULAR: return g_sh.specular;
    case SHADER_CONST_HSUPVEC: return g_sh.hs_up;
    case SHADER_CONST_SUBLIGHTVEC: return g_sh.sub_light_vec;
    case SHADER_CONST_SUBDIFFUSE: return g_sh.sub_diffuse;
    default: return nullptr;
    }
}
