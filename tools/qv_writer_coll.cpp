// The collision set ("COLL") writer: the triangles sorted into a grid of boxes
// (a leaf of one box or shared by several), each box as tight as what it
// holds, and layers of nodes over 2 x 2 x 2 blocks of boxes up to one root.
#include "tools/qv_writer_local.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace qvw {

using V3 = std::array<float, 3>;

static V3 sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
static float len(const V3& a) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }

struct TriGeom {
    V3 normal, centre;
    float radius;
};

static TriGeom tri_geom(const CollTriDesc& t)
{
    V3 e1 = sub(t.c[1], t.c[0]), e2 = sub(t.c[2], t.c[0]);
    V3 n = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
            e1[0] * e2[1] - e1[1] * e2[0]};
    float l = len(n);
    if (l > 0) n = {n[0] / l, n[1] / l, n[2] / l};
    V3 c{};
    for (int k = 0; k < 3; k++) c[k] = (t.c[0][k] + t.c[1][k] + t.c[2][k]) / 3.0f;
    float r = 0;
    for (const auto& p : t.c) r = std::max(r, len(sub(p, c)));
    return {n, c, r};
}

static void put_tri_body(ChunkBuf& b, const CollTriDesc& t, const TriGeom& g)
{
    for (const auto& p : t.c) put_vec3(b, p);
    put_vec3(b, g.normal);
    put_vec3(b, g.centre);
    b.put_f32(g.radius);
    b.put_u32(0);
    b.put_u32(t.face);
}

namespace {

// An axis-aligned box as lower and upper corners; empty until extended.
struct Aabb {
    V3 lo{}, hi{};
    bool any = false;
    void add(const V3& p)
    {
        for (int k = 0; k < 3; k++) {
            lo[k] = any ? std::min(lo[k], p[k]) : p[k];
            hi[k] = any ? std::max(hi[k], p[k]) : p[k];
        }
        any = true;
    }
    void add(const Aabb& b)
    {
        if (b.any) add(b.lo), add(b.hi);
    }
    V3 centre() const
    {
        return {(lo[0] + hi[0]) * 0.5f, (lo[1] + hi[1]) * 0.5f, (lo[2] + hi[2]) * 0.5f};
    }
    V3 half() const
    {
        return {(hi[0] - lo[0]) * 0.5f, (hi[1] - lo[1]) * 0.5f, (hi[2] - lo[2]) * 0.5f};
    }
};

Aabb tri_box(const CollTriDesc& t)
{
    Aabb b;
    for (const auto& p : t.c) b.add(p);
    return b;
}

// The part of b inside the cell (b is known to touch it).
Aabb clip(const Aabb& b, const Aabb& cell)
{
    Aabb out = b;
    for (int k = 0; k < 3; k++) {
        out.lo[k] = std::max(b.lo[k], cell.lo[k]);
        out.hi[k] = std::min(b.hi[k], cell.hi[k]);
        if (out.lo[k] > out.hi[k]) out.lo[k] = out.hi[k] = cell.lo[k];
    }
    return out;
}

// Box, then a sphere around the box: centre xyz, half xyz, centre xyz, radius.
void put_bounds(ChunkBuf& b, const Aabb& a)
{
    const V3 c = a.centre(), h = a.half();
    put_vec3(b, c);
    put_vec3(b, h);
    put_vec3(b, c);
    b.put_f32(len(h));
}

// One level of the hierarchy: nodes over 2 x 2 x 2 blocks of the level below.
struct Level {
    uint32_t dims[3];
    std::vector<Aabb> bounds;
    std::vector<std::vector<uint32_t>> children;  // only children holding triangles
    std::vector<bool> full;
};

Level level_above(const uint32_t dims[3], const std::vector<Aabb>& bounds,
                  const std::vector<bool>& full)
{
    Level up;
    for (int k = 0; k < 3; k++) up.dims[k] = (dims[k] + 1) / 2;
    const uint32_t n = up.dims[0] * up.dims[1] * up.dims[2];
    up.bounds.resize(n);
    up.children.resize(n);
    up.full.assign(n, false);
    for (uint32_t z = 0; z < dims[2]; z++)
        for (uint32_t y = 0; y < dims[1]; y++)
            for (uint32_t x = 0; x < dims[0]; x++) {
                const uint32_t below = (z * dims[1] + y) * dims[0] + x;
                const uint32_t at = ((z / 2) * up.dims[1] + y / 2) * up.dims[0] + x / 2;
                up.bounds[at].add(bounds[below]);
                if (!full[below]) continue;
                up.children[at].push_back(below);
                up.full[at] = true;
            }
    return up;
}

}  // namespace

Bytes coll_chunk(const CollDesc& c)
{
    const uint32_t dx = std::max(1u, c.div[0]), dy = std::max(1u, c.div[1]),
                   dz = std::max(1u, c.div[2]);
    const uint32_t dims[3] = {dx, dy, dz};
    const uint32_t boxes = dx * dy * dz;
    Aabb all;
    float origin_r = 0;
    for (const auto& t : c.tris)
        for (const auto& p : t.c) {
            all.add(p);
            origin_r = std::max(origin_r, len(p));
        }
    const V3 lo = all.lo, hi = all.hi;
    V3 cell;
    for (int k = 0; k < 3; k++) cell[k] = (hi[k] - lo[k]) / float(dims[k]);
    // A triangle's lower bound falls in the cell that holds it, its upper
    // bound in the cell that ends at or after it: touching a grid line does
    // not put a triangle into the next box.
    auto cell_of = [&](float v, int k, bool upper) {
        if (cell[k] <= 0) return 0u;
        float f = (v - lo[k]) / cell[k];
        long i = upper ? long(std::ceil(f)) - 1 : long(std::floor(f));
        return uint32_t(std::clamp(i, 0L, long(dims[k]) - 1));
    };
    auto cell_box = [&](uint32_t ix, uint32_t iy, uint32_t iz) {
        const uint32_t at[3] = {ix, iy, iz};
        Aabb b;
        V3 a, z;
        for (int k = 0; k < 3; k++) {
            a[k] = lo[k] + cell[k] * float(at[k]);
            z[k] = at[k] + 1 == dims[k] ? hi[k] : lo[k] + cell[k] * float(at[k] + 1);
        }
        b.add(a);
        b.add(z);
        return b;
    };

    std::vector<std::vector<uint32_t>> leaf(boxes);                  // triangle ids per box
    std::vector<std::pair<uint32_t, std::vector<uint32_t>>> shared;  // triangle, boxes
    std::vector<Aabb> content(boxes);  // what of the triangles lies in each box
    for (uint32_t i = 0; i < c.tris.size(); i++) {
        const Aabb tb = tri_box(c.tris[i]);
        uint32_t a[3], z[3];
        for (int k = 0; k < 3; k++) {
            a[k] = cell_of(tb.lo[k], k, false);
            z[k] = std::max(a[k], cell_of(tb.hi[k], k, true));
        }
        std::vector<uint32_t> in;
        for (uint32_t iz = a[2]; iz <= z[2]; iz++)
            for (uint32_t iy = a[1]; iy <= z[1]; iy++)
                for (uint32_t ix = a[0]; ix <= z[0]; ix++) {
                    const uint32_t idx = (iz * dy + iy) * dx + ix;
                    in.push_back(idx);
                    content[idx].add(in.size() == 1 && a[0] == z[0] && a[1] == z[1] && a[2] == z[2]
                                         ? tb
                                         : clip(tb, cell_box(ix, iy, iz)));
                }
        if (in.size() == 1)
            leaf[in[0]].push_back(i);
        else
            shared.emplace_back(i, in);
    }

    ChunkBuf b;
    b.put_zero(88);
    b.set_u32(4, boxes);
    for (int k = 0; k < 3; k++) {
        b.set_u32(8 + 4 * k, dims[k]);
        b.set_f32(20 + 4 * k, lo[k]);
        b.set_f32(32 + 4 * k, hi[k]);
        b.set_f32(44 + 4 * k, (lo[k] + hi[k]) * 0.5f);
    }
    b.set_f32(56, len(sub(hi, lo)) * 0.5f);
    b.set_f32(60, origin_r);

    // Each leaf box is as tight as the triangles it holds (the grid cell
    // when it holds none), so that rays passing near it skip it.
    std::vector<Aabb> box_bounds(boxes);
    std::vector<bool> box_full(boxes);
    uint32_t box_table = b.put_zero(48 * boxes);
    b.set_u32(64, box_table);
    for (uint32_t iz = 0; iz < dz; iz++)
        for (uint32_t iy = 0; iy < dy; iy++)
            for (uint32_t ix = 0; ix < dx; ix++) {
                const uint32_t idx = (iz * dy + iy) * dx + ix;
                box_full[idx] = content[idx].any;
                box_bounds[idx] = content[idx].any ? content[idx] : cell_box(ix, iy, iz);
                ChunkBuf rec;
                put_bounds(rec, box_bounds[idx]);
                for (size_t k = 0; k < rec.data.size(); k++)
                    b.data[box_table + 48 * idx + 8 + k] = rec.data[k];
                b.set_u32(box_table + 48 * idx, uint32_t(leaf[idx].size()));
                if (!leaf[idx].empty()) {
                    b.set_u32(box_table + 48 * idx + 4, b.size());
                    for (uint32_t t : leaf[idx]) put_tri_body(b, c.tris[t], tri_geom(c.tris[t]));
                }
            }

    if (!shared.empty()) {
        uint32_t table = b.size();
        b.set_u32(72, table);
        b.set_u32(76, uint32_t(shared.size()));
        std::vector<uint32_t> list_slots;
        for (const auto& [t, in] : shared) {
            b.put_u32(uint32_t(in.size()));
            put_tri_body(b, c.tris[t], tri_geom(c.tris[t]));
            list_slots.push_back(b.put_u32(0));
        }
        for (size_t i = 0; i < shared.size(); i++) {
            b.set_u32(list_slots[i], b.size());
            for (uint32_t box : shared[i].second) b.put_u32(box);
        }
    }

    // Layers of nodes over 2 x 2 x 2 blocks of the level below, up to one
    // root: a query descends through about log2 of the grid's size levels
    // and reaches only the boxes near it.
    std::vector<Level> levels;
    if (boxes > 1) {
        levels.push_back(level_above(dims, box_bounds, box_full));
        while (levels.back().bounds.size() > 1) {
            const Level& l = levels.back();
            levels.push_back(level_above(l.dims, l.bounds, l.full));
        }
    }
    if (!levels.empty()) {
        uint32_t table = b.put_zero(28 * levels.size());
        b.set_u32(80, table);
        b.set_u32(84, uint32_t(levels.size()));
        for (size_t i = 0; i < levels.size(); i++) {
            const Level& l = levels[i];
            b.set_u32(uint32_t(table + 28 * i), uint32_t(l.bounds.size()));
            b.set_u32(uint32_t(table + 28 * i + 24), b.size());
            for (size_t n = 0; n < l.bounds.size(); n++) {
                b.put_u32(uint32_t(l.children[n].size()));
                put_bounds(b, l.bounds[n]);
                for (uint32_t child : l.children[n]) b.put_u32(child);
            }
        }
    }
    b.set_u32(0, b.put_name(c.name));
    return b.data;
}

}  // namespace qvw
