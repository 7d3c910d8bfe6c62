// The stage test group: bone sets for several suffix rules, their meshes,
// collisions and animations.
#include "tools/qv_samples.h"

#include <fstream>

namespace qvw {

namespace {

using P3 = std::array<float, 3>;

Mat16 translate(float x, float y, float z)
{
    Mat16 m = mat_identity();
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return m;
}

// An axis-aligned box about centre (twelve triangles, faces outward).
ModelDesc box(const std::string& name, P3 centre, float half)
{
    ModelDesc m = sample_cube();
    m.name = name;
    for (ModelVertex& v : m.verts)
        for (int k = 0; k < 3; k++) v.pos[k] = centre[k] + v.pos[k] * half;
    return m;
}

BoneNode node(const std::string& name, const Mat16& m = mat_identity(),
              std::vector<BoneNode> children = {})
{
    return BoneNode{name, m, std::move(children)};
}

// The quad o + a*s + b*t as two triangles; it faces along b x a.
CollDesc quad_coll(const std::string& name, P3 o, P3 a, P3 b)
{
    CollDesc c;
    c.name = name;
    auto at = [&](float s, float t) {
        return P3{o[0] + a[0] * s + b[0] * t, o[1] + a[1] * s + b[1] * t,
                  o[2] + a[2] * s + b[2] * t};
    };
    c.tris.push_back({{{at(0, 0), at(0, 1), at(1, 0)}}, 1});
    c.tris.push_back({{{at(1, 0), at(0, 1), at(1, 1)}}, 2});
    return c;
}

}  // namespace

Bytes sample_stage_group()
{
    Bytes f;
    for (const ModelDesc& m :
         {box("rockA", {-2, 0, 0}, 0.5f), box("rockB", {0, 0, 0}, 0.5f),
          box("rockC", {0, 2, 0}, 0.5f), box("postA", {0, 0, 0}, 0.25f),
          box("postB", {0, 0, 0}, 0.25f), box("glass", {0, 0, 2}, 0.5f),
          box("glow_aadd", {0, 0, 0}, 0.25f), box("flare", {0, 3, 0}, 0.25f),
          box("door01", {0, 0, 0}, 0.5f), box("gate01", {0, 0, 0}, 0.5f),
          box("door_a_01", {0, 0, 8}, 0.5f), box("door_switch_nodisp", {0, 1, 8}, 0.25f),
          box("door_tgt_nodisp", {0, 2, 8}, 0.25f), box("door_lookat_nodisp", {0, 0, 10}, 0.25f)}) {
        Bytes d;
        model_chunk(m, d);
        file_add_chunk(f, MAGIC_MODEL, d);
    }
    const std::vector<std::vector<BoneNode>> sets = {
        {node("s1_s", mat_identity(), {node("rockA"), node("rockB"), node("lamp_nodisp")})},
        {node("s1_sn", mat_identity(), {node("rockC")})},
        {node("s1_a", mat_identity(), {node("glass")})},
        {node("s1_d", mat_identity(),
              {node("postA", translate(2, 0, 0), {node("postB", translate(0, 1, 0))}),
               node("lamp_nodisp", translate(0, 0, 3)), node("glow_aadd")})},
        {node("s1_fix", mat_identity(), {node("flare")})},
        {node("s1_zs", mat_identity(), {node("door", translate(0, 0, 5), {node("door01")})})},
        {node("s1_z", mat_identity(),
              {node("door", translate(0, 0, 5), {node("door01", translate(1, 0, 0))}),
               node("gate", mat_identity(), {node("gate01", translate(0, 0, -5))})})},
        {node("s1_dummy", mat_identity(), {node("spot", translate(3, 4, 5))})},
    };
    for (const auto& s : sets) file_add_chunk(f, MAGIC_BONE, bone_chunk(s));
    AnimDesc door{
        "door", 0, {{"door01", {translate(0, 0, 0), translate(0, 1, 0), translate(0, 2, 0)}}}};
    file_add_chunk(f, MAGIC_ANIME, anime_chunk(door));
    AnimDesc path{"door_path", 0, {{"door_a_01", {translate(0, 0, 0), translate(0, 0, 1)}}}};
    file_add_chunk(f, MAGIC_ANIME, anime_chunk(path));
    file_add_chunk(f, MAGIC_COLL,
                   coll_chunk(quad_coll("s1_s", {-5, 0, -5}, {10, 0, 0}, {0, 0, 10})));
    file_add_chunk(f, MAGIC_COLL,
                   coll_chunk(quad_coll("door01", {-1, 0, -1}, {2, 0, 0}, {0, 0, 2})));
    file_add_chunk(f, MAGIC_COLL,
                   coll_chunk(quad_coll("s1_wall", {-5, 0, 10}, {10, 0, 0}, {0, 5, 0})));
    return f;
}

std::string sample_stage_settings()
{
    return "MAX_NR_ANIME 16\nSZ_BUFF_ANIME 65536\nSZ_BUFF_ANIMENAME 1024\n"
           "MAX_NR_MESHLIST 4096\n";
}

bool sample_stage_write(const std::string& dir)
{
    const Bytes s1 = sample_stage_group();
    std::ofstream bin(dir + "/s1.bin", std::ios::binary), txt(dir + "/QUORVEL.TXT");
    bin.write(reinterpret_cast<const char*>(s1.data()), std::streamsize(s1.size()));
    txt << sample_stage_settings();
    return bool(bin) && bool(txt);
}

}  // namespace qvw
