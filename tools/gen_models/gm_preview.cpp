// gen_models_preview: draws the generated models the way the patch tool does
// (orthographic, y down, turned by pi about z, 30 units per pixel here doubled,
// clockwise triangles culled) so that a person can look at them.
//   gen_models_preview [--tool-size] <descriptions-folder> <out-folder>
// Writes models.png (per model: the palette view, then the placed patch lit
// by the tool's light) and icons.png (the atlas, three times, on dark and
// light grounds).
#include "math/vm_const.h"
#include "plat/log_text.h"
#include "res/chunk.h"
#include "res/mdl_decode.h"
#include "tools/gen_models/gm_icons.h"
#include "tools/gen_models/gm_models.h"
#include "tools/gen_models/gm_output.h"
#include "tools/qv_desc.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

// Twice the tool's 30 pixels a unit by default; "--tool-size" draws at 30.
int GM_PREVIEW_CELL = 150;
float GM_PREVIEW_SCALE = 60.0f;

using M3 = std::array<float, 9>;  // row-vector: p' = p * M

M3 mul(const M3& a, const M3& b)
{
    M3 r{};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            for (int k = 0; k < 3; k++) r[i * 3 + j] += a[i * 3 + k] * b[k * 3 + j];
    return r;
}
M3 rot_x(float a) { return {1, 0, 0, 0, std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a)}; }
M3 rot_y(float a) { return {std::cos(a), 0, -std::sin(a), 0, 1, 0, std::sin(a), 0, std::cos(a)}; }
M3 rot_z(float a) { return {std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a), 0, 0, 0, 1}; }
gm::Vec3 xform(const gm::Vec3& p, const M3& m)
{
    return {p[0] * m[0] + p[1] * m[3] + p[2] * m[6], p[0] * m[1] + p[1] * m[4] + p[2] * m[7],
            p[0] * m[2] + p[1] * m[5] + p[2] * m[8]};
}

struct Image {
    int w, h;
    std::vector<uint32_t> px;
    std::vector<float> depth;
};

float ch(uint32_t c, int s) { return float((c >> s) & 0xFF) / 255.0f; }

uint32_t mix_over(uint32_t dst, float r, float g, float b, float a)
{
    auto m = [&](float s, int sh) {
        return uint32_t(std::clamp(s * a + ch(dst, sh) * (1 - a), 0.0f, 1.0f) * 255.0f + 0.5f)
               << sh;
    };
    return 0xFF000000u | m(r, 16) | m(g, 8) | m(b, 0);
}

struct Tex {
    const gm::Canvas* image = nullptr;
    uint32_t sample(float u, float v) const
    {
        int x = std::clamp(int(u * float(image->w)), 0, image->w - 1),
            y = std::clamp(int(v * float(image->h)), 0, image->h - 1);
        return image->px[size_t(y) * size_t(image->w) + size_t(x)];
    }
};

struct DrawOpts {
    bool lighting = false;
    bool alpha_test = false;
    bool zwrite = true;
};

struct Counts {
    size_t kept = 0, culled = 0;
};

void draw_mesh(Image& img, int ox, int oy, const MeshSource& s, const M3& m, const Tex* tex,
               const DrawOpts& o, Counts& counts)
{
    const uint32_t nv = s.vertex_count;
    std::vector<gm::Vec3> sp(nv), sn(nv);
    for (uint32_t i = 0; i < nv; i++) {
        gm::Vec3 p = {s.positions[i * 3], s.positions[i * 3 + 1], s.positions[i * 3 + 2]};
        sp[i] = xform(p, m);
        sp[i][0] = sp[i][0] * GM_PREVIEW_SCALE + float(ox);
        sp[i][1] = sp[i][1] * GM_PREVIEW_SCALE + float(oy);
        if (!s.normals.empty())
            sn[i] = gm::v3_norm(
                xform({s.normals[i * 3], s.normals[i * 3 + 1], s.normals[i * 3 + 2]}, m));
    }
    const gm::Vec3 light = gm::v3_norm({0, 1, 1});  // travel direction in view space
    const uint32_t nc = s.index_count ? s.index_count : nv;
    for (uint32_t t = 0; t + 2 < nc; t += 3) {
        uint32_t id[3];
        for (int k = 0; k < 3; k++)
            id[k] = s.indices.empty() ? t + uint32_t(k) : s.indices[t + uint32_t(k)];
        const gm::Vec3 &a = sp[id[0]], &b = sp[id[1]], &c = sp[id[2]];
        float area = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
        if (area >= 0) {  // clockwise as seen on screen (y down): culled
            counts.culled++;
            continue;
        }
        counts.kept++;
        int x0 = std::max(0, int(std::floor(std::min({a[0], b[0], c[0]})))),
            x1 = std::min(img.w - 1, int(std::ceil(std::max({a[0], b[0], c[0]}))));
        int y0 = std::max(0, int(std::floor(std::min({a[1], b[1], c[1]})))),
            y1 = std::min(img.h - 1, int(std::ceil(std::max({a[1], b[1], c[1]}))));
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) {
                float px = float(x) + 0.5f, py = float(y) + 0.5f;
                float w0 = ((b[0] - px) * (c[1] - py) - (b[1] - py) * (c[0] - px)) / area;
                float w1 = ((c[0] - px) * (a[1] - py) - (c[1] - py) * (a[0] - px)) / area;
                float w2 = 1 - w0 - w1;
                if (w0 < 0 || w1 < 0 || w2 < 0) continue;
                float z = w0 * a[2] + w1 * b[2] + w2 * c[2];
                size_t at = size_t(y) * size_t(img.w) + size_t(x);
                if (z >= img.depth[at]) continue;
                float r = 1, g = 1, bl = 1, al = 1;
                if (!s.colors.empty()) {
                    r = g = bl = al = 0;
                    float w[3] = {w0, w1, w2};
                    for (int k = 0; k < 3; k++) {
                        uint32_t col = s.colors[id[k]];
                        r += w[k] * ch(col, 16), g += w[k] * ch(col, 8), bl += w[k] * ch(col, 0),
                            al += w[k] * ch(col, 24);
                    }
                }
                if (tex && tex->image && !s.uv0.empty()) {
                    float u = w0 * s.uv0[id[0] * 2] + w1 * s.uv0[id[1] * 2] + w2 * s.uv0[id[2] * 2];
                    float v = w0 * s.uv0[id[0] * 2 + 1] + w1 * s.uv0[id[1] * 2 + 1] +
                              w2 * s.uv0[id[2] * 2 + 1];
                    uint32_t texel = tex->sample(u, v);
                    r *= ch(texel, 16), g *= ch(texel, 8), bl *= ch(texel, 0), al *= ch(texel, 24);
                }
                if (o.alpha_test && al < 129.0f / 255.0f) continue;
                if (o.lighting && s.colors.empty() && !s.normals.empty()) {
                    gm::Vec3 n = gm::v3_norm(gm::v3_add(
                        gm::v3_add(gm::v3_scale(sn[id[0]], w0), gm::v3_scale(sn[id[1]], w1)),
                        gm::v3_scale(sn[id[2]], w2)));
                    float k = 0.4f + 0.6f * std::max(0.0f, -gm::v3_dot(n, light));
                    r *= k, g *= k, bl *= k;
                }
                img.px[at] = mix_over(img.px[at], r, g, bl, al);
                if (o.zwrite) img.depth[at] = z;
            }
    }
}

bool write_png(const std::string& path, const Image& img)
{
    std::vector<uint8_t> png = qvw::png_encode(img.w, img.h, img.px);
    std::ofstream f(path, std::ios::binary);
    return bool(f.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size())));
}

uint32_t tag_number(const std::string& name, char letter)
{
    for (size_t i = 0; i + 1 < name.size(); i++)
        if (name[i] == '_' && name[i + 1] == letter)
            return uint32_t(std::atoi(name.c_str() + i + 2));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--tool-size") {
        GM_PREVIEW_CELL = 64;
        GM_PREVIEW_SCALE = 30.0f;
        argv++;
        argc--;
    }
    if (argc != 3) {
        plat_log_line("usage: gen_models_preview [--tool-size] <descriptions-folder> <out-folder>");
        return 2;
    }
    namespace fs = std::filesystem;
    fs::create_directories(argv[2]);
    std::vector<gm::GroupOut> groups = gm::models_build();
    std::map<std::string, const gm::Canvas*> textures;
    for (const gm::GroupOut& g : groups)
        for (const gm::TextureOut& t : g.textures) textures[t.name] = &t.image;

    // The real pipeline: descriptions -> group files -> parsed chunks.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> bins;
    std::vector<std::string> descs;
    for (const auto& e : fs::directory_iterator(argv[1]))
        if (e.path().extension() == ".qvd") descs.push_back(e.path().string());
    std::sort(descs.begin(), descs.end());
    qvw::DataSet set;
    std::string why;
    if (!qvw::desc_build_files(descs, set, &why)) {
        plat_log_line("%s", why.c_str());
        return 1;
    }
    for (auto& [name, bytes] : set.files)
        if (name.rfind("grp/", 0) == 0) bins.push_back({name, bytes});

    struct Item {
        std::string name, texture;
        MeshSource src;
    };
    std::vector<Item> items;
    std::vector<std::vector<uint8_t>> keep;
    for (auto& [file, bytes] : bins) {
        keep.push_back(bytes);
        ByteSpan all(keep.back());
        uint64_t pos = 0;
        ChunkHeader h;
        ByteSpan data;
        while (chunk_file_next(all, pos, h, data) == CHUNK_WALK_CHUNK) {
            if (chunk_kind_of(h.magic) != CHUNK_MODEL) continue;
            ModelChunk mc;
            if (chunk_parse_model(data, mc) != CHUNK_OK) {
                plat_log_line("%s: a model does not parse", file.c_str());
                return 1;
            }
            Item it;
            it.name = chunk_rd_name(data, mc.name_off);
            ModelSubsetRec sub;
            if (chunk_model_subset(data, 0, sub) && sub.tex_name_off)
                it.texture = chunk_rd_name(data, sub.tex_name_off);
            mdl_decode(data, mc, 0, 0, it.src);
            items.push_back(std::move(it));
        }
    }

    const int cols = 8;
    const int rows = int((items.size() * 2 + cols - 1) / cols);
    Image img{
        GM_PREVIEW_CELL * cols,
        GM_PREVIEW_CELL * rows,
        std::vector<uint32_t>(size_t(GM_PREVIEW_CELL * cols * GM_PREVIEW_CELL * rows), 0xFFC0C0C0),
        {}};
    img.depth.assign(img.px.size(), 1e30f);
    const M3 palette = mul(mul(rot_z(VM_PI), rot_x(0.34906587f)), rot_y(-0.34906587f));
    const M3 patch = rot_z(VM_PI);
    for (size_t i = 0; i < items.size(); i++) {
        const Item& it = items[i];
        Tex tex;
        if (!it.texture.empty() && textures.count(it.texture)) tex.image = textures[it.texture];
        DrawOpts o;
        o.alpha_test = tag_number(it.name, 't') != 0;
        o.zwrite = tag_number(it.name, 'z') == 0;
        for (int view = 0; view < 2; view++) {
            int cell = int(i) * 2 + view;
            int cx = (cell % cols) * GM_PREVIEW_CELL + GM_PREVIEW_CELL / 2,
                cy = (cell / cols) * GM_PREVIEW_CELL + GM_PREVIEW_CELL / 2;
            // A darker ground for the patch view, as a picture behind it would be.
            if (view == 1)
                for (int y = cy - GM_PREVIEW_CELL / 2 + 2; y < cy + GM_PREVIEW_CELL / 2 - 2; y++)
                    for (int x = cx - GM_PREVIEW_CELL / 2 + 2; x < cx + GM_PREVIEW_CELL / 2 - 2;
                         x++)
                        img.px[size_t(y) * size_t(img.w) + size_t(x)] = 0xFF4A6A8A;
            o.lighting = view == 1;
            Counts counts;
            draw_mesh(img, cx, cy, it.src, view == 0 ? palette : patch, &tex, o, counts);
            if (view == 1)
                std::printf("%-14s %5u vertices %5u triangles  kept %zu culled %zu\n",
                            it.name.c_str(), it.src.vertex_count, it.src.index_count / 3,
                            counts.kept, counts.culled);
        }
    }
    std::string out = argv[2];
    if (!write_png(out + "/models.png", img)) return 1;

    gm::Canvas atlas = gm::icon_atlas();
    const int k = 3;
    Image icons{atlas.w * k,
                atlas.h * k * 2,
                std::vector<uint32_t>(size_t(atlas.w * k * atlas.h * k * 2)),
                {}};
    for (int y = 0; y < icons.h; y++)
        for (int x = 0; x < icons.w; x++) {
            uint32_t ground = y < atlas.h * k ? 0xFF303840 : 0xFFE8E0D0;
            uint32_t t = atlas.px[size_t((y / k) % atlas.h) * size_t(atlas.w) + size_t(x / k)];
            icons.px[size_t(y) * size_t(icons.w) + size_t(x)] =
                mix_over(ground, ch(t, 16), ch(t, 8), ch(t, 0), ch(t, 24));
        }
    return write_png(out + "/icons.png", icons) ? 0 : 1;
}
