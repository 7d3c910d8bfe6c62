// The small known samples of every chunk kind, of tex.lst and of whole group files, made with
// qv_writer (see qv_samples.h).
#include "tools/qv_samples.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <string>

#include "math/vm_const.h"

namespace qvw {

ModelDesc sample_quad()
{
    ModelDesc m;
    m.name = "quad";
    m.has_uvs = true;
    const float p[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    for (int i = 0; i < 4; i++) {
        ModelVertex v;
        v.pos = {p[i][0], p[i][1], 0};
        v.nrm = {0, 0, -1};
        v.uv = {(p[i][0] + 1) * 0.5f, (1 - p[i][1]) * 0.5f};
        m.verts.push_back(v);
    }
    m.corners = {0, 1, 2, 2, 1, 3};
    m.subsets = {{"quad.png", 0, 1, 0}};
    return m;
}

ModelDesc sample_grid(const std::string& name, uint32_t n, const std::string& texture)
{
    ModelDesc m;
    m.name = name;
    m.has_uvs = true;
    for (uint32_t y = 0; y <= n; y++)
        for (uint32_t x = 0; x <= n; x++) {
            ModelVertex v;
            v.pos = {float(x) / float(n), float(y) / float(n), 0};
            v.nrm = {0, 0, -1};
            v.uv = {float(x) / float(n), float(y) / float(n)};
            m.verts.push_back(v);
        }
    for (uint32_t y = 0; y < n; y++)
        for (uint32_t x = 0; x < n; x++) {
            uint32_t a = y * (n + 1) + x, b = a + 1, c = a + n + 1, d = c + 1;
            m.corners.insert(m.corners.end(), {a, b, c, c, b, d});
        }
    if (!texture.empty()) m.subsets.push_back({texture, 0, 2 * n * n - 1, 0});
    return m;
}

ModelDesc sample_cube()
{
    ModelDesc m;
    m.name = "cube";
    m.has_colors = true;
    // per face: normal axis and sign; four corners
    for (int axis = 0; axis < 3; axis++)
        for (int sign = -1; sign <= 1; sign += 2) {
            uint32_t base = uint32_t(m.verts.size());
            for (int c = 0; c < 4; c++) {
                ModelVertex v;
                float a = (c & 1) ? 1.f : -1.f, b = (c & 2) ? 1.f : -1.f;
                v.pos[axis] = float(sign);
                v.pos[(axis + 1) % 3] = a;
                v.pos[(axis + 2) % 3] = b;
                v.nrm = {0, 0, 0};
                v.nrm[axis] = float(sign);
                v.color = 0xFF000000u | (0x40u << (8 * axis)) | (sign > 0 ? 0x808080u : 0);
                m.verts.push_back(v);
            }
            m.corners.insert(m.corners.end(),
                             {base, base + 1, base + 2, base + 2, base + 1, base + 3});
        }
    return m;
}

ModelDesc sample_skinned()
{
    ModelDesc m;
    m.name = "skin_NRM";
    m.has_uvs = true;
    m.has_blend = true;
    for (int i = 0; i < 4; i++) {
        ModelVertex v;
        v.pos = {float(i & 1), float(i >> 1), 0.5f};
        v.nrm = {0, 0, -1};
        v.uv = {float(i & 1), float(i >> 1)};
        v.blend.bone = {0, 1, 0, 0};
        v.blend.weight = {1.0f - 0.25f * float(i), 0.25f * float(i), 0, 0};
        m.verts.push_back(v);
    }
    m.corners = {0, 1, 2, 2, 1, 3};
    m.subsets = {{"skin.png", 0, 0, 0}, {"", 1, 1, 7}};
    m.bones = {{"root", mat_identity()}, {"arm", mat_identity()}};
    m.bones[1].matrix[12] = 1.0f;
    return m;
}

std::vector<BoneNode> sample_bones()
{
    BoneNode hand{"hand", mat_identity(), {}};
    BoneNode arm{"arm", mat_identity(), {hand}};
    arm.matrix[12] = 2.0f;
    BoneNode leg{"leg_NRM", mat_identity(), {}};
    BoneNode root{"root", mat_identity(), {arm, leg}};
    root.matrix[13] = 1.0f;
    return {root};
}

AnimDesc sample_anime()
{
    AnimDesc a;
    a.name = "walk";
    for (const char* n : {"root", "arm"}) {
        AnimNodeDesc node{n, {}};
        for (int f = 0; f < 3; f++) {
            Mat16 m = mat_identity();
            m[12] = float(f);
            node.frames.push_back(m);
        }
        a.nodes.push_back(node);
    }
    a.nodes[1].frames.resize(2);
    return a;
}

namespace {

Mat16 translation(float x, float y, float z)
{
    Mat16 m = mat_identity();
    m[12] = x, m[13] = y, m[14] = z;
    return m;
}

// Rows of a turn by deg degrees about z (axis 2) or y (axis 1).
Mat16 turn(int axis, float deg)
{
    const float a = vm_deg_to_rad(deg), c = std::cos(a), s = std::sin(a);
    Mat16 m = mat_identity();
    if (axis == 2) m[0] = c, m[1] = s, m[4] = -s, m[5] = c;
    if (axis == 1) m[0] = c, m[2] = -s, m[8] = s, m[10] = c;
    return m;
}

// A box from x0 to x1 (half-thickness h) bound wholly to one bone.
void add_bone_box(ModelDesc& m, float x0, float x1, float h, uint8_t bone)
{
    const uint32_t base = uint32_t(m.verts.size());
    for (int i = 0; i < 8; i++) {
        ModelVertex v;
        v.pos = {(i & 1) ? x1 : x0, (i & 2) ? h : -h, (i & 4) ? h : -h};
        v.nrm = {0, 0, (i & 4) ? 1.f : -1.f};
        v.blend.bone = {bone, 0, 0, 0};
        v.blend.weight = {1, 0, 0, 0};
        m.verts.push_back(v);
    }
    static const uint32_t QV_SAMPLES_FACES[36] = {0, 2, 1, 1, 2, 3, 4, 5, 6, 6, 5, 7,
                                                  0, 1, 4, 4, 1, 5, 2, 6, 3, 3, 6, 7,
                                                  0, 4, 2, 2, 4, 6, 1, 3, 5, 5, 3, 7};
    for (uint32_t f : QV_SAMPLES_FACES) m.corners.push_back(base + f);
}

}  // namespace

ModelDesc sample_character_mesh()
{
    ModelDesc m;
    m.name = "chr";
    m.has_uvs = true;  // skinned vertex formats carry a texture set
    m.has_blend = true;
    add_bone_box(m, 0.5f, 1.5f, 0.15f, 1);
    add_bone_box(m, 1.5f, 2.5f, 0.15f, 2);
    add_bone_box(m, 2.5f, 2.8f, 0.15f, 3);
    // Offsets: from the bind pose's model space into each bone's own.
    m.bones = {{"root", mat_identity()},
               {"arm_L_up", translation(-0.5f, 0, 0)},
               {"arm_L_low", translation(-1.5f, 0, 0)},
               {"hand_L", translation(-2.5f, 0, 0)}};
    return m;
}

std::vector<BoneNode> sample_character_bones()
{
    auto arm = [](const char* side, float x) {
        const std::string s = side;
        BoneNode hand{"hand" + s.substr(0, 2), translation(1, 0, 0), {}};
        BoneNode low{"arm" + s + "low", translation(1, 0, 0), {hand}};
        return BoneNode{"arm" + s + "up", translation(x, 0, 0), {low}};
    };
    BoneNode tail{"tail3", translation(1, 0, 0), {}};
    for (int i = 2; i >= 0; i--)
        tail = BoneNode{
            "tail" + std::to_string(i), translation(i ? 1.f : 0.f, i ? 0.f : -0.5f, 0), {tail}};
    BoneNode root{"root", mat_identity(), {arm("_L_", 0.5f), arm("_R_", -0.5f), tail}};
    return {root};
}

AnimDesc sample_character_wave()
{
    AnimDesc a;
    a.name = "wave";
    AnimNodeDesc root{"root", {}}, left{"arm_L_up", {}}, right{"arm_R_up", {}};
    for (int f = 0; f < 10; f++) {
        root.frames.push_back(mat_identity());
        left.frames.push_back(turn(2, 10.0f * float(f)));
        right.frames.push_back(turn(1, 10.0f * float(f)));
    }
    a.nodes = {root, left, right};
    return a;
}

AnimDesc sample_character_walk()
{
    AnimDesc a;
    a.name = "walk";
    AnimNodeDesc root{"root", {}};
    for (int f = 0; f < 20; f++) root.frames.push_back(translation(0.25f * float(f), 0, 0));
    a.nodes = {root};
    return a;
}

CollDesc sample_coll(uint32_t div)
{
    CollDesc c;
    c.name = "floor";
    c.div[0] = div;
    c.div[2] = div;
    uint32_t face = 1;
    for (int x = 0; x < 2; x++)
        for (int z = 0; z < 2; z++) {
            float x0 = float(x) - 1, z0 = float(z) - 1;
            c.tris.push_back({{{{x0, 0, z0}, {x0, 0, z0 + 1}, {x0 + 1, 0, z0}}}, face++});
            c.tris.push_back({{{{x0 + 1, 0, z0}, {x0, 0, z0 + 1}, {x0 + 1, 0, z0 + 1}}}, face++});
        }
    // one triangle across the whole floor
    c.tris.push_back({{{{-1, 0.5f, -1}, {-1, 0.5f, 1}, {1, 0.5f, -1}}}, 99});
    return c;
}

namespace {

using P3 = std::array<float, 3>;

P3 at(const P3& o, const P3& u, const P3& v, float a, float b)
{
    return {o[0] + u[0] * a + v[0] * b, o[1] + u[1] * a + v[1] * b, o[2] + u[2] * a + v[2] * b};
}

// A parallelogram o + u*a + v*b of sub x sub quads; its normal is v x u.
void add_face(CollDesc& c, const P3& o, const P3& u, const P3& v, uint32_t sub)
{
    const float k = 1.0f / float(sub);
    for (uint32_t i = 0; i < sub; i++)
        for (uint32_t j = 0; j < sub; j++) {
            const P3 p00 = at(o, u, v, i * k, j * k), p01 = at(o, u, v, i * k, (j + 1) * k);
            const P3 p10 = at(o, u, v, (i + 1) * k, j * k),
                     p11 = at(o, u, v, (i + 1) * k, (j + 1) * k);
            c.tris.push_back({{{p00, p01, p10}}, uint32_t(c.tris.size() + 1)});
            c.tris.push_back({{{p10, p01, p11}}, uint32_t(c.tris.size() + 1)});
        }
}

// Quads over the unit squares of x in x0..x0+nx, z in z0..z0+nz at height h.
template <class H>
void add_height_field(CollDesc& c, float x0, float z0, uint32_t nx, uint32_t nz, H h)
{
    for (uint32_t i = 0; i < nx; i++)
        for (uint32_t j = 0; j < nz; j++) {
            const float xa = x0 + float(i), xb = xa + 1, za = z0 + float(j), zb = za + 1;
            const P3 p00 = {xa, h(xa, za), za}, p01 = {xa, h(xa, zb), zb};
            const P3 p10 = {xb, h(xb, za), za}, p11 = {xb, h(xb, zb), zb};
            c.tris.push_back({{{p00, p01, p10}}, uint32_t(c.tris.size() + 1)});
            c.tris.push_back({{{p10, p01, p11}}, uint32_t(c.tris.size() + 1)});
        }
}

}  // namespace

CollDesc sample_coll_ground()
{
    CollDesc c;
    c.name = "ground";
    c.div[0] = c.div[2] = 2;
    add_face(c, {-10, 0, -10}, {20, 0, 0}, {0, 0, 20}, 4);
    return c;
}

CollDesc sample_coll_ramp()
{
    CollDesc c;
    c.name = "ramp";
    c.div[0] = 4;
    c.div[2] = 2;
    add_face(c, {0, 0, -10}, {20, 10, 0}, {0, 0, 20}, 4);
    return c;
}

CollDesc sample_coll_room()
{
    CollDesc c;
    c.name = "room";
    c.div[0] = c.div[1] = c.div[2] = 2;
    add_face(c, {-5, 0, -5}, {10, 0, 0}, {0, 0, 10}, 3);  // floor, up
    add_face(c, {-5, 4, -5}, {0, 0, 10}, {10, 0, 0}, 3);  // ceiling, down
    add_face(c, {-5, 0, -5}, {0, 0, 10}, {0, 4, 0}, 3);   // x = -5, +x
    add_face(c, {5, 0, -5}, {0, 4, 0}, {0, 0, 10}, 3);    // x = 5, -x
    add_face(c, {-5, 0, -5}, {0, 4, 0}, {10, 0, 0}, 3);   // z = -5, +z
    add_face(c, {-5, 0, 5}, {10, 0, 0}, {0, 4, 0}, 3);    // z = 5, -z
    return c;
}

float sample_terrain_height(float x, float z)
{
    return 2.0f * std::sin(x * 0.31f) * std::cos(z * 0.23f) + 0.5f * std::sin((x + z) * 1.7f);
}

CollDesc sample_coll_terrain(uint32_t quads)
{
    CollDesc c;
    c.name = "terrain";
    c.div[0] = c.div[2] = std::max(1u, quads / 4);
    add_height_field(c, 0, 0, quads, quads, sample_terrain_height);
    return c;
}

FlaDesc sample_fla()
{
    FlaDesc f;
    f.name = "movie";
    Bytes f0, f1;
    fla_cmd_place(f0, 1, 1);
    fla_cmd_end(f0);
    fla_cmd_remove(f1, 1);
    fla_cmd_end(f1);
    f.frames = {f0, f1};
    f.images = {{1, "c0"}};
    FlaShape s;
    s.char_id = 1;
    s.rect[2] = 32;
    s.rect[3] = 32;
    FlaPart part;
    part.image_id = 1;
    for (int i = 0; i < 4; i++)
        part.verts.push_back(
            {float(i & 1) * 32, float(i >> 1) * 32, float(i & 1), float(i >> 1), 0xFFFFFFFF});
    part.indices = {0, 1, 2, 2, 1, 3};
    s.parts = {part};
    f.shapes = {s};
    Bytes sp;
    fla_cmd_end(sp);
    f.sprites = {{7, {sp}}};
    f.assets = {{3, "asset"}};
    return f;
}

static FlaPart sample_square(uint16_t image, float x, float y, float size)
{
    FlaPart part;
    part.image_id = image;
    for (int i = 0; i < 4; i++)
        part.verts.push_back({x + float(i & 1) * size, y + float(i >> 1) * size, float(i & 1),
                              float(i >> 1), 0xFFFFFFFF});
    part.indices = {0, 1, 2, 2, 1, 3};
    return part;
}

FlaDesc sample_movie()
{
    FlaDesc f;
    f.name = "anim";
    f.rect[2] = f.rect[3] = 64;
    const float at_origin[6] = {1, 0, 0, 1, 0, 0}, down[6] = {1, 0, 0, 1, 0, 24};
    const float sprite_at[6] = {1, 0, 0, 1, 40, 30}, inner[6] = {1, 0, 0, 1, 4, 4};
    const uint32_t grey = 0xFF808080;
    Bytes f0, f1, f2, s0;
    fla_cmd_place_full(f0, 1, 1, at_origin, nullptr, false);
    fla_cmd_place_full(f0, 2, 10, sprite_at, nullptr, false);
    fla_cmd_start_sprite(f0, 0);
    fla_cmd_end(f0);
    fla_cmd_place_full(f1, 1, -1, down, &grey, true);
    fla_cmd_end(f1);
    fla_cmd_remove(f2, 1);
    fla_cmd_end(f2);
    fla_cmd_place_full(s0, 1, 2, inner, nullptr, false);
    fla_cmd_end(s0);
    f.frames = {f0, f1, f2};
    f.images = {{1, "red"}, {2, "blue"}};
    FlaShape two;
    two.char_id = 1;
    two.rect[2] = 32;
    two.rect[3] = 16;
    two.parts = {sample_square(1, 0, 0, 16), sample_square(2, 16, 0, 16)};
    FlaShape slot;
    slot.char_id = 2;
    slot.rect[2] = slot.rect[3] = 8;
    slot.parts = {sample_square(3, 0, 0, 8)};
    f.shapes = {two, slot};
    f.sprites = {{10, {s0}}};
    f.assets = {{3, "slot"}};
    return f;
}

TexLstCatDesc sample_sprite_category()
{
    return {"qspr", {{"corners.png", 64, 64, {{"all", 0, 0, 64, 64}, {"tl", 0, 0, 32, 32}}}}};
}

TexLstCatDesc sample_effect_category()
{
    static const char* const QV_SAMPLES_NAMES[] = {
        "exp00",   "exp01",   "exp02",   "exp03",   "flash",   "mflash",  "smoke00", "smoke01",
        "smoke02", "smoke03", "smoke04", "smoke05", "smoke06", "smoke07", "maru00",  "maru01",
        "maru02",  "maru03",  "hit00",   "blood00", "blood01", "ujidead"};
    TexLstTexDesc t{"cmnv.png", 256, 256, {}};
    for (int i = 0; i < int(std::size(QV_SAMPLES_NAMES)); ++i)
        t.crops.push_back({QV_SAMPLES_NAMES[i], float(i % 8 * 32), float(i / 8 * 32), 32, 32});
    return {"cmnv", {t}};
}

uint32_t sample_effect_cell_colour(int cell)
{
    return 0xFF000000u | uint32_t(40 + cell * 9) << 16 | uint32_t(250 - cell * 7) << 8 |
           uint32_t(cell % 2 ? 200 : 60);
}

DataSet sample_effect_data()
{
    DataSet set;
    set.cats = {sample_effect_category()};
    std::vector<uint32_t> px(256 * 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            px[size_t(y * 256 + x)] = sample_effect_cell_colour(y / 32 * 8 + x / 32);
    set.files["texture/cmnv.png"] = png_encode(256, 256, px);
    const std::string lst = texlst_text(set.cats);
    set.files["texture/tex.lst"] = Bytes(lst.begin(), lst.end());
    return set;
}

CamrDesc sample_camr()
{
    CamrDesc c;
    c.name = "cam";
    c.word = 5;
    c.f0 = 1.5f;
    c.f1 = -2.0f;
    c.keys = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
    return c;
}

std::vector<SphereDesc> sample_spheres() { return {{1.0f, {0, 0, 0}}, {0.5f, {3, 4, 0}}}; }

Bytes sample_group_file()
{
    Bytes f;
    file_add_chunk(f, MAGIC_TEX,
                   tex_chunk("quad.png", png_checker(16, 16, 0xFFFF0000, 0xFF0000FF)));
    file_add_chunk(f, MAGIC_CROP,
                   crop_chunk({{"c0", "quad.png", 0, 0, 0.5f, 0.5f},
                               {"c1.tga", "dir/quad.png", 0.5f, 0.5f, 0.5f, 0.25f}}));
    Bytes m;
    model_chunk(sample_quad(), m);
    file_add_chunk(f, MAGIC_MODEL, m);
    model_chunk(sample_cube(), m);
    file_add_chunk(f, MAGIC_MODEL, m);
    model_chunk(sample_skinned(), m);
    file_add_chunk(f, MAGIC_MODEL, m);
    file_add_chunk(f, MAGIC_BONE, bone_chunk(sample_bones()));
    file_add_chunk(f, MAGIC_ANIME, anime_chunk(sample_anime()));
    file_add_chunk(f, MAGIC_COLL, coll_chunk(sample_coll(2)));
    file_add_chunk(f, MAGIC_SHIT, shit_chunk("spheres", sample_spheres()));
    file_add_chunk(f, MAGIC_CAMR, camr_chunk(sample_camr()));
    file_add_chunk(f, MAGIC_FLA, fla_chunk(sample_fla()));
    return f;
}

std::string sample_texlst()
{
    std::vector<TexLstCatDesc> cats = {
        {"icon",
         {{"icon.png",
           256,
           64,
           {{"disk", 0, 0, 32, 32}, {"dust", 32, 0, 32, 32}, {"rotz", 0, 32, 32, 32}}},
          {"small.png", 16, 16, {{"dot", 4, 4, 8, 8}}}}},
        {"font", {{"font/ascii.png", 512, 512, {}}}},
    };
    return "# sample texture list\n" + texlst_text(cats);
}

std::vector<SampleFile> sample_chunk_seeds()
{
    std::vector<SampleFile> out;
    auto one = [&](const char* name, uint32_t magic, const Bytes& data) {
        Bytes f;
        file_add_chunk(f, magic, data);
        out.push_back({name, f});
    };
    Bytes m;
    model_chunk(sample_quad(), m);
    one("model_quad", MAGIC_MODEL, m);
    model_chunk(sample_skinned(), m);
    one("model_skin", MAGIC_MODEL, m);
    one("bone", MAGIC_BONE, bone_chunk(sample_bones()));
    one("anime", MAGIC_ANIME, anime_chunk(sample_anime()));
    one("coll1", MAGIC_COLL, coll_chunk(sample_coll(1)));
    one("coll2", MAGIC_COLL, coll_chunk(sample_coll(2)));
    one("coll_room", MAGIC_COLL, coll_chunk(sample_coll_room()));
    one("coll_ramp", MAGIC_COLL, coll_chunk(sample_coll_ramp()));
    one("tex", MAGIC_TEX, tex_chunk("t.png", {1, 2, 3, 4}));
    one("crop", MAGIC_CROP, crop_chunk({{"c", "t.png", 0, 0, 0.5f, 0.5f}}));
    one("shit", MAGIC_SHIT, shit_chunk("s", sample_spheres()));
    one("camr", MAGIC_CAMR, camr_chunk(sample_camr()));
    one("fla", MAGIC_FLA, fla_chunk(sample_fla()));
    one("movie", MAGIC_FLA, fla_chunk(sample_movie()));
    out.push_back({"group", sample_group_file()});
    return out;
}

std::vector<SampleFile> sample_game_characters()
{
    std::vector<SampleFile> out;
    Bytes m;
    for (const std::string who : {"hero", "knight"}) {
        Bytes f;
        ModelDesc body = sample_character_mesh();
        body.name = who + "_body";
        model_chunk(body, m);
        file_add_chunk(f, MAGIC_MODEL, m);
        file_add_chunk(f, MAGIC_BONE, bone_chunk(sample_character_bones()));
        file_add_chunk(f, MAGIC_ANIME, anime_chunk(sample_character_wave()));
        file_add_chunk(f, MAGIC_ANIME, anime_chunk(sample_character_walk()));
        out.push_back({"gs_" + who + ".bin", f});
    }
    Bytes f;
    ModelDesc sword = sample_cube();
    sword.name = "sword";
    model_chunk(sword, m);
    file_add_chunk(f, MAGIC_MODEL, m);
    out.push_back({"gs_weapon.bin", f});
    return out;
}

}  // namespace qvw
