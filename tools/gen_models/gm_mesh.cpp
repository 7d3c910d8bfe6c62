// Procedural meshes (see gm_mesh.h): transforms, outlines and their triangulation, extrusions,
// surfaces of revolution, spheres, tori, tubes and boxes, and the editing helpers.
#include "tools/gen_models/gm_mesh.h"

#include <algorithm>
#include <cmath>

namespace gm {

namespace {

Vec2 v2_sub(Vec2 a, Vec2 b) { return {a[0] - b[0], a[1] - b[1]}; }
Vec2 v2_scale(Vec2 a, float s) { return {a[0] * s, a[1] * s}; }
float v2_cross(Vec2 a, Vec2 b) { return a[0] * b[1] - a[1] * b[0]; }
float v2_dot(Vec2 a, Vec2 b) { return a[0] * b[0] + a[1] * b[1]; }
Vec2 v2_norm(Vec2 a)
{
    float l = std::sqrt(v2_dot(a, a));
    return l > 0 ? Vec2{a[0] / l, a[1] / l} : Vec2{0, 0};
}

// The angle between two unit directions, in degrees.
float turn_deg(Vec2 a, Vec2 b)
{
    return std::acos(std::clamp(v2_dot(a, b), -1.0f, 1.0f)) * 180.0f / VM_PI;
}

uint32_t add_vertex(Mesh& m, Vec3 p, Vec3 n, Vec2 uv)
{
    m.verts.push_back({p, n, uv, 0xFFFFFFFF});
    return uint32_t(m.verts.size() - 1);
}

void add_tri(Mesh& m, uint32_t a, uint32_t b, uint32_t c)
{
    m.tris.insert(m.tris.end(), {a, b, c});
}

bool same_pos(const Mesh& m, uint32_t a, uint32_t b)
{
    Vec3 d = v3_sub(m.verts[a].pos, m.verts[b].pos);
    return v3_dot(d, d) < 1e-12f;
}

// Adds (a, b, c) unless two of its corners coincide.
void add_tri_nondegenerate(Mesh& m, uint32_t a, uint32_t b, uint32_t c)
{
    if (same_pos(m, a, b) || same_pos(m, b, c) || same_pos(m, a, c)) return;
    add_tri(m, a, b, c);
}

Vec3 xf_point(const Xf& x, Vec3 p)
{
    const auto& m = x.m;
    return {m[0] * p[0] + m[1] * p[1] + m[2] * p[2] + x.t[0],
            m[3] * p[0] + m[4] * p[1] + m[5] * p[2] + x.t[1],
            m[6] * p[0] + m[7] * p[1] + m[8] * p[2] + x.t[2]};
}

// Normals go through the inverse transpose of the linear part: the cofactor
// matrix has the same direction and needs no division.
Vec3 xf_normal(const Xf& x, Vec3 n)
{
    const auto& m = x.m;
    std::array<float, 9> c = {
        m[4] * m[8] - m[5] * m[7], m[5] * m[6] - m[3] * m[8], m[3] * m[7] - m[4] * m[6],
        m[2] * m[7] - m[1] * m[8], m[0] * m[8] - m[2] * m[6], m[1] * m[6] - m[0] * m[7],
        m[1] * m[5] - m[2] * m[4], m[2] * m[3] - m[0] * m[5], m[0] * m[4] - m[1] * m[3]};
    float det = m[0] * c[0] + m[1] * c[1] + m[2] * c[2];
    Vec3 r = {c[0] * n[0] + c[1] * n[1] + c[2] * n[2], c[3] * n[0] + c[4] * n[1] + c[5] * n[2],
              c[6] * n[0] + c[7] * n[1] + c[8] * n[2]};
    return v3_norm(det < 0 ? v3_scale(r, -1) : r);
}

}  // namespace

// ---- transforms -------------------------------------------------------------------

Xf xf_translate(float x, float y, float z)
{
    Xf r;
    r.t = {x, y, z};
    return r;
}

Xf xf_scale(float x, float y, float z)
{
    Xf r;
    r.m = {x, 0, 0, 0, y, 0, 0, 0, z};
    return r;
}

Xf xf_rot_x(float a)
{
    Xf r;
    float c = std::cos(a), s = std::sin(a);
    r.m = {1, 0, 0, 0, c, -s, 0, s, c};
    return r;
}

Xf xf_rot_y(float a)
{
    Xf r;
    float c = std::cos(a), s = std::sin(a);
    r.m = {c, 0, s, 0, 1, 0, -s, 0, c};
    return r;
}

Xf xf_rot_z(float a)
{
    Xf r;
    float c = std::cos(a), s = std::sin(a);
    r.m = {c, -s, 0, s, c, 0, 0, 0, 1};
    return r;
}

Xf xf_then(const Xf& f, const Xf& s)
{
    Xf r;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            float v = 0;
            for (int k = 0; k < 3; k++) v += s.m[i * 3 + k] * f.m[k * 3 + j];
            r.m[i * 3 + j] = v;
        }
    r.t = xf_point(s, f.t);
    return r;
}

// ---- vectors ------------------------------------------------------------------------

Vec3 v3_add(Vec3 a, Vec3 b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Vec3 v3_sub(Vec3 a, Vec3 b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 v3_scale(Vec3 a, float s) { return {a[0] * s, a[1] * s, a[2] * s}; }
Vec3 v3_cross(Vec3 a, Vec3 b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
float v3_dot(Vec3 a, Vec3 b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 v3_norm(Vec3 a)
{
    float l = std::sqrt(v3_dot(a, a));
    return l > 0 ? v3_scale(a, 1.0f / l) : Vec3{0, 0, 1};
}

// ---- tessellation -------------------------------------------------------------------

namespace {
float g_fit_scale = 1;
}  // namespace

void tess_set_fit_scale(float scale) { g_fit_scale = scale; }

float tess_tolerance() { return TESS_CHORD_PX / (TESS_PIXELS_PER_UNIT * g_fit_scale); }

int arc_segments(float radius, float angle)
{
    // A chord through the angle s strays r (1 - cos(s / 2)) from its arc.
    const double ratio = std::min(double(tess_tolerance()) / std::max(double(radius), 1e-9), 1.0);
    const double step = std::min(2.0 * std::acos(1.0 - ratio), 2.0 * double(VM_PI) / 3.0);
    return std::max(1, int(std::ceil(double(angle) / step - 1e-6)));
}

namespace {

// How far the curve, seen at the inner points, strays from the chord a-b;
// 0 once the chord is shorter than a pixel at the largest size.
float chord_error(Vec2 a, Vec2 b, std::initializer_list<Vec2> inner)
{
    const Vec2 ab = v2_sub(b, a);
    const float len2 = v2_dot(ab, ab), tol = tess_tolerance();
    if (len2 < 4 * tol * tol) return 0;
    float worst = 0;
    for (Vec2 q : inner) {
        Vec2 aq = v2_sub(q, a);
        float along = std::clamp(v2_dot(aq, ab) / len2, 0.0f, 1.0f);
        Vec2 off = v2_sub(aq, v2_scale(ab, along));
        worst = std::max(worst, v2_dot(off, off));
    }
    return std::sqrt(worst);
}

}  // namespace

std::vector<Vec2> curve_points(const std::function<Vec2(float)>& p, float t0, float t1)
{
    // Spans waiting, the next one last. Where a span strays, the error of a
    // chord shrinks with the square of its length: cut it into as many equal
    // parts as that needs, and look at each again.
    constexpr int FIRST_SPANS = 8, MAX_DEPTH = 8, MAX_PARTS = 16;
    struct Span {
        float t0, t1;
        Vec2 p0, p1;
        int depth;
    };
    auto push_parts = [&](std::vector<Span>& todo, const Span& s, int parts) {
        float t_end = s.t1;
        Vec2 p_end = s.p1;
        for (int i = parts - 1; i >= 0; i--) {  // the last part first
            float t = i == 0 ? s.t0 : s.t0 + (s.t1 - s.t0) * float(i) / float(parts);
            Vec2 pt = i == 0 ? s.p0 : p(t);
            todo.push_back({t, t_end, pt, p_end, s.depth + 1});
            t_end = t;
            p_end = pt;
        }
    };
    std::vector<Span> todo;
    std::vector<Vec2> out = {p(t0)};
    push_parts(todo, {t0, t1, out[0], p(t1), -1}, FIRST_SPANS);
    const float tol = tess_tolerance();
    while (!todo.empty()) {
        const Span s = todo.back();
        todo.pop_back();
        const float d = s.t1 - s.t0;
        const float err =
            chord_error(s.p0, s.p1, {p(s.t0 + d * 0.25f), p(s.t0 + d * 0.5f), p(s.t0 + d * 0.75f)});
        if (err > tol && s.depth < MAX_DEPTH)
            push_parts(todo, s, std::clamp(int(std::ceil(std::sqrt(err / tol))), 2, MAX_PARTS));
        else
            out.push_back(s.p1);
    }
    return out;
}

std::vector<Vec2> curve_spline(const std::vector<Vec2>& through)
{
    const size_t n = through.size();
    if (n < 3) return through;
    auto at = [&](long i) {  // beyond the ends, the end spans continued
        if (i < 0) return v2_sub(v2_scale(through[0], 2), through[1]);
        if (i >= long(n)) return v2_sub(v2_scale(through[n - 1], 2), through[n - 2]);
        return through[size_t(i)];
    };
    auto blend = [](float p0, float p1, float p2, float p3, float u) {
        return 0.5f * (2 * p1 + (p2 - p0) * u + (2 * p0 - 5 * p1 + 4 * p2 - p3) * u * u +
                       (3 * p1 - p0 - 3 * p2 + p3) * u * u * u);
    };
    auto point = [&](float t) {
        const long k = std::min(long(t), long(n) - 2);
        const float u = t - float(k);
        const Vec2 p0 = at(k - 1), p1 = at(k), p2 = at(k + 1), p3 = at(k + 2);
        return Vec2{blend(p0[0], p1[0], p2[0], p3[0], u), blend(p0[1], p1[1], p2[1], p3[1], u)};
    };
    std::vector<Vec2> out = curve_points(point, 0.0f, float(n - 1));
    out.back() = through.back();  // exactly, as at the start
    return out;
}

// ---- outlines -----------------------------------------------------------------------

Outline outline_circle(float cx, float cy, float r) { return outline_ellipse(cx, cy, r, r); }

Outline outline_ellipse(float cx, float cy, float rx, float ry)
{
    Outline o = outline_arc(cx, cy, rx, ry, 0, 2 * VM_PI);
    o.pop_back();  // the start again
    return o;
}

Outline outline_arc(float cx, float cy, float rx, float ry, float a0, float a1)
{
    // Even steps of the angle: the chord error is largest where the ellipse
    // bends most, and there it is the larger radius's.
    const int n = arc_segments(std::max(rx, ry), std::fabs(a1 - a0));
    Outline o;
    for (int i = 0; i <= n; i++) {
        float a = a0 + (a1 - a0) * float(i) / float(n);
        o.push_back({cx + rx * std::cos(a), cy + ry * std::sin(a)});
    }
    return o;
}

Outline outline_star(int points, float r_out, float r_in, float turn)
{
    Outline o;
    for (int i = 0; i < points * 2; i++) {
        float a = turn + VM_PI * float(i) / float(points);
        float r = (i & 1) ? r_in : r_out;
        o.push_back({r * std::cos(a), r * std::sin(a)});
    }
    return o;
}

Outline outline_polar(const std::function<float(float)>& radius)
{
    Outline o = curve_points(
        [&](float a) {
            float r = radius(a);
            return Vec2{r * std::cos(a), r * std::sin(a)};
        },
        0, 2 * VM_PI);
    o.pop_back();  // the start again
    return o;
}

Outline outline_circle_union(const std::vector<Vec3>& circles)
{
    return outline_polar([&](float a) {
        Vec2 d = {std::cos(a), std::sin(a)};
        float best = 0;
        for (const Vec3& c : circles) {
            // Far intersection of the ray t*d with the circle: t^2 - 2 t (d.c) + |c|^2 - r^2 = 0.
            float b = d[0] * c[0] + d[1] * c[1];
            float q = c[0] * c[0] + c[1] * c[1] - c[2] * c[2];
            float disc = b * b - q;
            if (disc >= 0) best = std::max(best, b + std::sqrt(disc));
        }
        return best;
    });
}

float outline_area(const Outline& o)
{
    float a = 0;
    for (size_t i = 0; i < o.size(); i++) a += v2_cross(o[i], o[(i + 1) % o.size()]);
    return a * 0.5f;
}

Outline outline_clean(Outline o)
{
    if (outline_area(o) < 0) std::reverse(o.begin(), o.end());
    bool changed = true;
    while (changed && o.size() > 3) {
        changed = false;
        for (size_t i = 0; i < o.size() && o.size() > 3; i++) {
            Vec2 p = o[(i + o.size() - 1) % o.size()], c = o[i], n = o[(i + 1) % o.size()];
            Vec2 a = v2_sub(c, p), b = v2_sub(n, c);
            bool dup = v2_dot(a, a) < 1e-10f;
            bool straight = std::fabs(v2_cross(v2_norm(a), v2_norm(b))) < 1e-4f && v2_dot(a, b) > 0;
            if (dup || straight) {
                o.erase(o.begin() + long(i));
                changed = true;
            }
        }
    }
    return o;
}

std::vector<uint32_t> triangulate(const Outline& o)
{
    std::vector<uint32_t> out, idx(o.size());
    for (size_t i = 0; i < o.size(); i++) idx[i] = uint32_t(i);
    auto inside = [](Vec2 p, Vec2 a, Vec2 b, Vec2 c) {
        return v2_cross(v2_sub(b, a), v2_sub(p, a)) >= 0 &&
               v2_cross(v2_sub(c, b), v2_sub(p, b)) >= 0 &&
               v2_cross(v2_sub(a, c), v2_sub(p, c)) >= 0;
    };
    size_t guard = 0;
    while (idx.size() > 3 && guard++ < o.size() * o.size() * 2) {
        bool cut = false;
        for (size_t i = 0; i < idx.size(); i++) {
            uint32_t ia = idx[(i + idx.size() - 1) % idx.size()], ib = idx[i],
                     ic = idx[(i + 1) % idx.size()];
            Vec2 a = o[ia], b = o[ib], c = o[ic];
            if (v2_cross(v2_sub(b, a), v2_sub(c, b)) <= 1e-9f) continue;  // reflex or flat
            bool ear = true;
            for (uint32_t j : idx)
                if (j != ia && j != ib && j != ic && inside(o[j], a, b, c)) {
                    ear = false;
                    break;
                }
            if (!ear) continue;
            out.insert(out.end(), {ia, ib, ic});
            idx.erase(idx.begin() + long(i));
            cut = true;
            break;
        }
        if (!cut) break;  // not simple: leave the rest out rather than loop
    }
    if (idx.size() == 3) out.insert(out.end(), {idx[0], idx[1], idx[2]});
    return out;
}

// ---- solids -------------------------------------------------------------------------

Mesh mesh_extrude(const Outline& raw, const ExtrudeOpts& opt)
{
    const Outline o = outline_clean(raw);
    const size_t n = o.size();
    const float h = opt.half_depth, b = std::min(opt.bevel, opt.half_depth);
    Mesh m;

    // Outward edge normals, miter directions and the ring vertices: a sharp
    // corner gives two ring vertices, one for each edge.
    std::vector<Vec2> edge_n(n), miter(n);
    for (size_t i = 0; i < n; i++) {
        Vec2 e = v2_norm(v2_sub(o[(i + 1) % n], o[i]));
        edge_n[i] = {e[1], -e[0]};
    }
    struct RingVert {
        size_t base;
        Vec2 n;
    };
    std::vector<RingVert> ring;
    std::vector<uint32_t> ring_of(n);  // the first ring vertex of each outline point
    for (size_t i = 0; i < n; i++) {
        ring_of[i] = uint32_t(ring.size());
        Vec2 a = edge_n[(i + n - 1) % n], c = edge_n[i];
        Vec2 mid = v2_norm({a[0] + c[0], a[1] + c[1]});
        float cos_half = std::max(v2_dot(mid, c), 0.4f);  // caps the miter at 2.5
        miter[i] = {mid[0] / cos_half, mid[1] / cos_half};
        if (turn_deg(a, c) > opt.sharp_deg) {
            ring.push_back({i, a});
            ring.push_back({i, c});
        } else {
            ring.push_back({i, mid});
        }
    }

    auto uv_of = [&](Vec2 p) {
        return Vec2{(p[0] - opt.uv_min[0]) / (opt.uv_max[0] - opt.uv_min[0]),
                    1.0f - (p[1] - opt.uv_min[1]) / (opt.uv_max[1] - opt.uv_min[1])};
    };
    // Where the outline is thinner than two bevels the full inset would turn
    // the cap inside out: shrink the inset at the corners of every cap
    // triangle that flips until none does.
    std::vector<uint32_t> tri = triangulate(o);
    std::vector<float> reach(n, 1.0f);
    auto inset = [&](size_t i, float d) {
        return Vec2{o[i][0] - miter[i][0] * d * reach[i], o[i][1] - miter[i][1] * d * reach[i]};
    };
    for (int pass = 0; pass < 40; pass++) {
        bool flipped = false;
        for (size_t t = 0; t < tri.size(); t += 3) {
            Vec2 a = inset(tri[t], b), c = inset(tri[t + 1], b), d = inset(tri[t + 2], b);
            if (v2_cross(v2_sub(c, a), v2_sub(d, a)) > 1e-7f) continue;
            flipped = true;
            for (int k = 0; k < 3; k++) reach[tri[t + size_t(k)]] *= 0.8f;
        }
        if (!flipped) break;
    }

    // Rings from the back cap's edge round the side to the front cap's edge.
    const int steps = arc_segments(b, VM_PI / 2);
    std::vector<uint32_t> first_of_ring;
    for (int side = 0; side < 2; side++)
        for (int s = 0; s <= steps; s++) {
            float t = side == 0 ? vm_deg_to_rad(-90.0f + 90.0f * float(s) / float(steps))
                                : vm_deg_to_rad(90.0f * float(s) / float(steps));
            float zc = side == 0 ? -(h - b) : (h - b);
            first_of_ring.push_back(uint32_t(m.verts.size()));
            for (const RingVert& rv : ring) {
                Vec2 p = inset(rv.base, b * (1.0f - std::cos(t)));
                Vec3 nrm = v3_norm({rv.n[0] * std::cos(t), rv.n[1] * std::cos(t), std::sin(t)});
                add_vertex(m, {p[0], p[1], zc + b * std::sin(t)}, nrm, uv_of(p));
            }
        }
    const size_t rn = ring.size();
    for (size_t k = 0; k + 1 < first_of_ring.size(); k++)
        for (size_t j = 0; j < rn; j++) {
            size_t j1 = (j + 1) % rn;
            if (ring[j].base == ring[j1].base) continue;  // the two sides of a sharp corner
            uint32_t A = first_of_ring[k] + uint32_t(j), B = first_of_ring[k] + uint32_t(j1);
            uint32_t D = first_of_ring[k + 1] + uint32_t(j),
                     C = first_of_ring[k + 1] + uint32_t(j1);
            add_tri_nondegenerate(m, A, B, C);
            add_tri_nondegenerate(m, A, C, D);
        }

    // Caps on the inset outline: the first and last rings lie there already,
    // facing straight back and front.
    for (int side = 0; side < 2; side++) {
        const uint32_t row = side == 0 ? first_of_ring.front() : first_of_ring.back();
        auto at = [&](uint32_t i) { return row + ring_of[i]; };
        for (size_t t = 0; t < tri.size(); t += 3) {
            if (side == 1)
                add_tri(m, at(tri[t]), at(tri[t + 1]), at(tri[t + 2]));
            else
                add_tri(m, at(tri[t]), at(tri[t + 2]), at(tri[t + 1]));
        }
    }
    return m;
}

Mesh mesh_revolve(const std::vector<Vec2>& profile, int segments, float sharp_deg)
{
    Mesh m;
    const size_t pn = profile.size();
    if (pn < 2) return m;
    // Segment normals in the (radius, y) plane: the profile runs downwards
    // with the solid on the axis side.
    std::vector<Vec2> seg_n(pn - 1);
    std::vector<float> along(pn, 0);
    for (size_t k = 0; k + 1 < pn; k++) {
        Vec2 d = v2_norm(v2_sub(profile[k + 1], profile[k]));
        seg_n[k] = {-d[1], d[0]};
        Vec2 diff = v2_sub(profile[k + 1], profile[k]);
        along[k + 1] = along[k] + std::sqrt(v2_dot(diff, diff));
    }
    struct Row {
        size_t k;
        Vec2 n;
    };
    std::vector<Row> rows;
    for (size_t k = 0; k < pn; k++) {
        if (k == 0)
            rows.push_back({k, seg_n[0]});
        else if (k == pn - 1)
            rows.push_back({k, seg_n[pn - 2]});
        else if (turn_deg(seg_n[k - 1], seg_n[k]) > sharp_deg) {
            rows.push_back({k, seg_n[k - 1]});
            rows.push_back({k, seg_n[k]});
        } else {
            rows.push_back(
                {k, v2_norm({seg_n[k - 1][0] + seg_n[k][0], seg_n[k - 1][1] + seg_n[k][1]})});
        }
    }
    const float total = std::max(along[pn - 1], 1e-6f);
    for (const Row& r : rows)
        for (int s = 0; s <= segments; s++) {
            float a = 2 * VM_PI * float(s) / float(segments);
            float rad = profile[r.k][0];
            add_vertex(m, {rad * std::sin(a), profile[r.k][1], rad * std::cos(a)},
                       v3_norm({r.n[0] * std::sin(a), r.n[1], r.n[0] * std::cos(a)}),
                       {float(s) / float(segments), along[r.k] / total});
        }
    const uint32_t cols = uint32_t(segments + 1);
    for (size_t i = 0; i + 1 < rows.size(); i++) {
        if (rows[i].k == rows[i + 1].k) continue;  // the two rows of a sharp profile point
        for (uint32_t s = 0; s < uint32_t(segments); s++) {
            uint32_t A = uint32_t(i) * cols + s, B = A + 1, D = A + cols, C = D + 1;
            add_tri_nondegenerate(m, A, D, C);
            add_tri_nondegenerate(m, A, C, B);
        }
    }
    return m;
}

Mesh mesh_sphere(float r)
{
    const int segments = arc_segments(r), rings = arc_segments(r, VM_PI);
    std::vector<Vec2> p;
    for (int i = 0; i <= rings; i++) {
        float a = VM_PI * float(i) / float(rings);
        p.push_back({r * std::sin(a), r * std::cos(a)});
    }
    p.front()[0] = 0;
    p.back()[0] = 0;
    return mesh_revolve(p, segments, 90.0f);
}

Mesh mesh_torus(float major, float minor)
{
    const int segments = arc_segments(major + minor), sides = arc_segments(minor);
    Mesh m;
    for (int i = 0; i <= segments; i++) {
        float t = 2 * VM_PI * float(i) / float(segments);
        for (int j = 0; j <= sides; j++) {
            float f = 2 * VM_PI * float(j) / float(sides);
            Vec3 n = {std::cos(f) * std::cos(t), std::cos(f) * std::sin(t), std::sin(f)};
            Vec3 c = {major * std::cos(t), major * std::sin(t), 0};
            add_vertex(m, v3_add(c, v3_scale(n, minor)), n,
                       {float(i) / float(segments), float(j) / float(sides)});
        }
    }
    const uint32_t cols = uint32_t(sides + 1);
    for (uint32_t i = 0; i < uint32_t(segments); i++)
        for (uint32_t j = 0; j < uint32_t(sides); j++) {
            uint32_t A = i * cols + j, B = A + cols, D = A + 1, C = B + 1;
            add_tri(m, A, B, C);
            add_tri(m, A, C, D);
        }
    return m;
}

Mesh mesh_tube(const std::vector<Vec3>& path, float radius)
{
    const int sides = arc_segments(radius);
    Mesh m;
    const size_t pn = path.size();
    if (pn < 2) return m;
    // Parallel-transported frames keep the tube from twisting.
    std::vector<Vec3> tan(pn);
    for (size_t i = 0; i < pn; i++) {
        Vec3 a = path[i > 0 ? i - 1 : 0], b = path[i + 1 < pn ? i + 1 : pn - 1];
        tan[i] = v3_norm(v3_sub(b, a));
    }
    Vec3 up = std::fabs(tan[0][2]) < 0.9f ? Vec3{0, 0, 1} : Vec3{1, 0, 0};
    Vec3 u = v3_norm(v3_cross(up, tan[0]));
    for (size_t i = 0; i < pn; i++) {
        u = v3_norm(v3_sub(u, v3_scale(tan[i], v3_dot(u, tan[i]))));
        Vec3 v = v3_cross(tan[i], u);
        for (int j = 0; j <= sides; j++) {
            float f = 2 * VM_PI * float(j) / float(sides);
            Vec3 n = v3_add(v3_scale(u, std::cos(f)), v3_scale(v, std::sin(f)));
            add_vertex(m, v3_add(path[i], v3_scale(n, radius)), n,
                       {float(j) / float(sides), float(i) / float(pn - 1)});
        }
    }
    const uint32_t cols = uint32_t(sides + 1);
    for (uint32_t i = 0; i + 1 < uint32_t(pn); i++)
        for (uint32_t j = 0; j < uint32_t(sides); j++) {
            uint32_t A = i * cols + j, B = A + 1, D = A + cols, C = D + 1;
            add_tri(m, A, B, C);
            add_tri(m, A, C, D);
        }
    // Flat caps at both ends.
    for (int end = 0; end < 2; end++) {
        size_t i = end == 0 ? 0 : pn - 1;
        Vec3 n = end == 0 ? v3_scale(tan[0], -1) : tan[pn - 1];
        uint32_t centre = add_vertex(m, path[i], n, {0.5f, 0.5f});
        uint32_t first = uint32_t(m.verts.size());
        for (int j = 0; j <= sides; j++) {
            Vertex v = m.verts[i * cols + uint32_t(j)];
            add_vertex(m, v.pos, n, v.uv);
        }
        for (uint32_t j = 0; j < uint32_t(sides); j++) {
            if (end == 0)
                add_tri(m, centre, first + j + 1, first + j);
            else
                add_tri(m, centre, first + j, first + j + 1);
        }
    }
    return m;
}

Mesh mesh_box(float hx, float hy, float hz, float bevel)
{
    Outline o;
    const int quarter = arc_segments(bevel, VM_PI / 2);
    const float cx[4] = {hx - bevel, -(hx - bevel), -(hx - bevel), hx - bevel};
    const float cy[4] = {hy - bevel, hy - bevel, -(hy - bevel), -(hy - bevel)};
    for (int c = 0; c < 4; c++)
        for (int s = 0; s <= quarter; s++) {
            float a = vm_deg_to_rad(90.0f * float(c) + 90.0f * float(s) / float(quarter));
            o.push_back({cx[c] + bevel * std::cos(a), cy[c] + bevel * std::sin(a)});
        }
    ExtrudeOpts e;
    e.half_depth = hz;
    e.bevel = bevel;
    e.uv_min = {-hx, -hy};
    e.uv_max = {hx, hy};
    return mesh_extrude(o, e);
}

void mesh_flatten(Mesh& m)
{
    Mesh f;
    for (size_t t = 0; t < m.tris.size(); t += 3) {
        const Vertex &a = m.verts[m.tris[t]], &b = m.verts[m.tris[t + 1]],
                     &c = m.verts[m.tris[t + 2]];
        Vec3 n = v3_norm(v3_cross(v3_sub(b.pos, a.pos), v3_sub(c.pos, a.pos)));
        for (const Vertex* v : {&a, &b, &c}) {
            Vertex w = *v;
            w.nrm = n;
            f.verts.push_back(w);
        }
        uint32_t i = uint32_t(f.verts.size() - 3);
        add_tri(f, i, i + 1, i + 2);
    }
    m = std::move(f);
}

// ---- editing ------------------------------------------------------------------------

void mesh_apply(Mesh& m, const Xf& xf)
{
    for (Vertex& v : m.verts) {
        v.pos = xf_point(xf, v.pos);
        v.nrm = xf_normal(xf, v.nrm);
    }
}

void mesh_append(Mesh& dst, const Mesh& src)
{
    uint32_t base = uint32_t(dst.verts.size());
    dst.verts.insert(dst.verts.end(), src.verts.begin(), src.verts.end());
    for (uint32_t i : src.tris) dst.tris.push_back(base + i);
}

void mesh_paint(Mesh& m, uint32_t argb)
{
    for (Vertex& v : m.verts) v.color = argb;
}

void mesh_set_uv(Mesh& m, Vec2 uv)
{
    for (Vertex& v : m.verts) v.uv = uv;
}

void mesh_bounds(const Mesh& m, Vec3& lo, Vec3& hi)
{
    lo = {1e30f, 1e30f, 1e30f};
    hi = {-1e30f, -1e30f, -1e30f};
    for (const Vertex& v : m.verts)
        for (int k = 0; k < 3; k++) {
            lo[k] = std::min(lo[k], v.pos[k]);
            hi[k] = std::max(hi[k], v.pos[k]);
        }
}

float mesh_fit(Mesh& m, float half_extent)
{
    Vec3 lo, hi;
    mesh_bounds(m, lo, hi);
    Vec3 c = v3_scale(v3_add(lo, hi), 0.5f);
    float ext = std::max(hi[0] - lo[0], hi[1] - lo[1]) * 0.5f;
    float s = ext > 0 ? half_extent / ext : 1.0f;
    mesh_apply(m, xf_then(xf_translate(-c[0], -c[1], -c[2]), xf_scale(s, s, s)));
    return s;
}

void mesh_bake_light(Mesh& m)
{
    const Vec3 to_light = v3_norm({0.0f, 1.0f, 1.0f});
    for (Vertex& v : m.verts) {
        float d = std::max(0.0f, v3_dot(v.nrm, to_light));
        float k = 0.62f + 0.38f * d;
        float highlight = std::pow(d, 24.0f) * 0.35f;
        uint32_t out = v.color & 0xFF000000u;
        for (int sh = 0; sh <= 16; sh += 8) {
            float ch = float((v.color >> sh) & 0xFF) * k + 255.0f * highlight;
            out |= uint32_t(std::clamp(ch + 0.5f, 0.0f, 255.0f)) << sh;
        }
        v.color = out;
    }
}

void mesh_to_model_space(Mesh& m)
{
    for (Vertex& v : m.verts) {
        v.pos = {-v.pos[0], v.pos[1], -v.pos[2]};
        v.nrm = {-v.nrm[0], v.nrm[1], -v.nrm[2]};
    }
}

float mesh_signed_volume(const Mesh& m)
{
    double vol = 0;
    for (size_t t = 0; t + 2 < m.tris.size(); t += 3) {
        Vec3 a = m.verts[m.tris[t]].pos, b = m.verts[m.tris[t + 1]].pos,
             c = m.verts[m.tris[t + 2]].pos;
        vol += double(v3_dot(a, v3_cross(b, c)));
    }
    return float(vol / 6.0);
}

}  // namespace gm
