// The patch models of the default data set, shape by shape, gathered into their model groups
// (see gm_models.h). Meshes come from gm_mesh, textures are painted with gm_paint.
#include "tools/gen_models/gm_models.h"

#include <algorithm>
#include <cmath>

#include "math/vm_const.h"

namespace gm {

namespace {

// ---- building blocks --------------------------------------------------------------

Mesh painted(Mesh m, uint32_t argb)
{
    mesh_paint(m, argb);
    return m;
}

Mesh moved(Mesh m, float x, float y, float z)
{
    mesh_apply(m, xf_translate(x, y, z));
    return m;
}

Mesh turned(Mesh m, const Xf& xf)
{
    mesh_apply(m, xf);
    return m;
}

// A bevelled slab of the outline centred on z.
Mesh slab(const Outline& o, float half_depth, float bevel, float z = 0)
{
    ExtrudeOpts e;
    e.half_depth = half_depth;
    e.bevel = bevel;
    return moved(mesh_extrude(o, e), 0, 0, z);
}

// A path in a plane of constant z.
std::vector<Vec3> at_depth(const std::vector<Vec2>& points, float z)
{
    std::vector<Vec3> path;
    for (Vec2 p : points) path.push_back({p[0], p[1], z});
    return path;
}

Mesh join(std::initializer_list<Mesh> parts)
{
    Mesh m;
    for (const Mesh& p : parts) mesh_append(m, p);
    return m;
}

ModelOut colored_model(const std::string& name, Mesh m)
{
    const float scale = mesh_fit(m, MODEL_HALF_EXTENT);
    mesh_bake_light(m);
    mesh_to_model_space(m);
    return {name, std::move(m), true, "", scale};
}

ModelOut textured_model(const std::string& name, Mesh m, const std::string& texture)
{
    const float scale = mesh_fit(m, MODEL_HALF_EXTENT);
    mesh_to_model_space(m);
    return {name, std::move(m), false, texture, scale};
}

// Colours each vertex by a function of its position.
template <class F>
void paint_by(Mesh& m, F colour_of)
{
    for (Vertex& v : m.verts) v.color = colour_of(v.pos);
}

// ---- flat shapes --------------------------------------------------------------------

ModelOut make_star()
{
    Mesh body =
        painted(slab(outline_star(5, 1.0f, 0.45f, vm_deg_to_rad(90)), 0.16f, 0.08f), 0xFFFFC21E);
    Mesh inner = painted(
        slab(outline_star(5, 0.52f, 0.24f, vm_deg_to_rad(90)), 0.05f, 0.035f, 0.17f), 0xFFFFE47A);
    return colored_model("star", join({body, inner}));
}

ModelOut make_heart()
{
    // Two round lobes and the lines from the tip that touch them.
    const float cx = 0.5f, cy = 0.35f, r = 0.52f, tip_y = -1.0f;
    const float to_tip = std::atan2(tip_y - cy, -cx);
    const float touch = to_tip + std::acos(r / std::hypot(cx, cy - tip_y));
    const float cusp = std::atan2(std::sqrt(r * r - cx * cx), -cx);
    // The right lobe from the tangent up to the cusp, then the left one mirrored.
    const Outline lobe = outline_arc(cx, cy, r, r, touch, cusp);
    Outline o = {{0.0f, tip_y}};
    o.insert(o.end(), lobe.begin(), lobe.end());
    for (size_t i = lobe.size() - 1; i-- > 0;) o.push_back({-lobe[i][0], lobe[i][1]});
    Mesh body = painted(slab(o, 0.24f, 0.09f), 0xFFE8283C);
    // A small highlight blob on the upper left lobe.
    Mesh shine = painted(turned(mesh_sphere(0.12f), xf_scale(1.0f, 0.7f, 0.35f)), 0xFFFF9AA6);
    return colored_model("heart_a1", join({body, moved(shine, -0.45f, 0.35f, 0.22f)}));
}

ModelOut make_arrow()
{
    Outline o = {{-1.0f, -0.2f}, {0.2f, -0.2f}, {0.2f, -0.55f}, {1.0f, 0.0f},
                 {0.2f, 0.55f},  {0.2f, 0.2f},  {-1.0f, 0.2f}};
    Mesh m = painted(slab(o, 0.14f, 0.06f), 0xFF2F7BE6);
    return colored_model("arrow", turned(m, xf_rot_z(vm_deg_to_rad(20))));
}

ModelOut make_speech()
{
    const float cx = 0, cy = 0.18f, rx = 1.0f, ry = 0.66f;
    // Leaves a gap at the lower left for the tail.
    Outline o = outline_arc(cx, cy, rx, ry, vm_deg_to_rad(258.0f), vm_deg_to_rad(258.0f + 337.0f));
    o.push_back({-0.62f, -0.9f});  // the tail's tip
    Mesh body = painted(slab(o, 0.14f, 0.07f), 0xFFF6F6F2);
    Mesh dots;
    for (int k = -1; k <= 1; k++)
        mesh_append(dots, moved(slab(outline_circle(0, 0, 0.11f), 0.04f, 0.03f), 0.36f * float(k),
                                cy, 0.15f));
    return colored_model("speech", join({body, painted(dots, 0xFF3C4450)}));
}

ModelOut make_lightning()
{
    Outline o = {{0.25f, 1.0f}, {-0.45f, -0.1f}, {0.0f, -0.1f}, {-0.3f, -1.0f},
                 {0.55f, 0.2f}, {0.1f, 0.2f},    {0.5f, 1.0f}};
    return colored_model("lightning", painted(slab(o, 0.15f, 0.06f), 0xFFFFD21E));
}

ModelOut make_moon()
{
    // A crescent: the unit circle without a circle shifted to the right.
    const float icx = 0.5f, icy = 0.22f, ir = 0.86f;
    const float d = std::hypot(icx, icy), phi = std::atan2(icy, icx);
    const float a = (1 - ir * ir + d * d) / (2 * d);
    const float delta = std::acos(std::clamp(a, -1.0f, 1.0f));
    Outline o = outline_arc(0, 0, 1, 1, phi + delta, phi + 2 * VM_PI - delta);
    Vec2 p_minus = o.back(), p_plus = o.front();
    float b0 = std::atan2(p_minus[1] - icy, p_minus[0] - icx),
          b1 = std::atan2(p_plus[1] - icy, p_plus[0] - icx);
    while (b1 > b0) b1 -= 2 * VM_PI;  // inner arc runs clockwise
    const Outline inner = outline_arc(icx, icy, ir, ir, b0, b1);
    o.insert(o.end(), inner.begin() + 1, inner.end() - 1);  // its ends are the outer arc's
    Mesh m = painted(slab(o, 0.16f, 0.08f), 0xFFFFE27A);
    return colored_model("moon", turned(m, xf_rot_z(vm_deg_to_rad(-15))));
}

ModelOut make_cloud()
{
    Outline o = outline_circle_union(
        {{-0.5f, -0.1f, 0.55f}, {0.0f, 0.25f, 0.58f}, {0.52f, 0.0f, 0.52f}, {0.0f, -0.2f, 0.5f}});
    Mesh m = painted(slab(o, 0.2f, 0.14f), 0xFFEAF4FF);
    paint_by(m, [](Vec3 p) { return p[1] < -0.2f ? 0xFFC8DDF5u : 0xFFEEF6FFu; });
    return colored_model("cloud_p2", std::move(m));
}

ModelOut make_leaf()
{
    auto swell = [](float t) { return std::pow(std::max(0.0f, std::sin(VM_PI * t)), 0.85f); };
    auto upper = [&](float t) { return Vec2{-1 + 2 * t, 0.48f * swell(t) * (1.1f - 0.3f * t)}; };
    auto lower = [&](float t) { return Vec2{-1 + 2 * t, -0.42f * swell(t) * (1.0f - 0.2f * t)}; };
    auto vein = [](float t) { return Vec2{-0.95f + 1.7f * t, 0.04f * std::sin(VM_PI * t)}; };
    // The upper edge from base to tip, then the lower edge back.
    Outline o = curve_points(upper, 0, 1);
    const Outline back = curve_points(lower, 1, 0);
    o.insert(o.end(), back.begin() + 1, back.end() - 1);
    Mesh blade = painted(slab(o, 0.07f, 0.045f), 0xFF45B23E);
    Mesh rib = painted(mesh_tube(at_depth(curve_points(vein, 0, 1), 0.07f), 0.025f), 0xFF2B7E2A);
    Mesh stem =
        mesh_tube({{-0.95f, 0.0f, 0.0f}, {-1.15f, -0.08f, 0.0f}, {-1.3f, -0.22f, 0.0f}}, 0.045f);
    Mesh m = join({blade, rib, painted(stem, 0xFF6A7F2A)});
    return colored_model("leaf", turned(m, xf_rot_z(vm_deg_to_rad(30))));
}

ModelOut make_fish()
{
    const float cx = 0.15f, rx = 0.78f, ry = 0.48f;
    Outline o = outline_arc(cx, 0, rx, ry, vm_deg_to_rad(-150.0f), vm_deg_to_rad(150.0f));
    for (Vec2 p : {Vec2{-1.0f, 0.5f}, Vec2{-0.78f, 0.0f}, Vec2{-1.0f, -0.5f}}) o.push_back(p);
    Mesh body = slab(o, 0.18f, 0.1f);
    paint_by(body, [](Vec3 p) { return p[0] < -0.5f ? 0xFFE8641Au : 0xFFFF9A2Eu; });
    Mesh eye = painted(slab(outline_circle(0, 0, 0.12f), 0.03f, 0.02f), 0xFFFFFFFF);
    Mesh pupil = painted(slab(outline_circle(0, 0, 0.06f), 0.02f, 0.015f), 0xFF141414);
    Outline fin_o = {{-0.05f, 0.0f}, {0.3f, 0.0f}, {0.05f, -0.28f}};
    Mesh fin = painted(slab(fin_o, 0.03f, 0.02f), 0xFFE8641A);
    return colored_model(
        "fish", join({body, moved(eye, 0.6f, 0.12f, 0.18f), moved(pupil, 0.62f, 0.12f, 0.21f),
                      moved(fin, -0.05f, -0.02f, 0.18f)}));
}

ModelOut make_notes()
{
    Mesh m;
    const float head_x[2] = {-0.55f, 0.45f}, head_y[2] = {-0.72f, -0.55f};
    for (int k = 0; k < 2; k++) {
        Mesh head = turned(slab(outline_ellipse(0, 0, 0.3f, 0.21f), 0.12f, 0.06f),
                           xf_rot_z(vm_deg_to_rad(20)));
        mesh_append(m, moved(head, head_x[k], head_y[k], 0));
        float sx = head_x[k] + 0.24f;
        Outline stem = {{sx - 0.05f, head_y[k]},
                        {sx + 0.04f, head_y[k]},
                        {sx + 0.04f, head_y[k] + 1.35f},
                        {sx - 0.05f, head_y[k] + 1.35f}};
        mesh_append(m, slab(stem, 0.07f, 0.03f));
    }
    float x0 = head_x[0] + 0.19f, x1 = head_x[1] + 0.28f;
    float y0 = head_y[0] + 1.35f, y1 = head_y[1] + 1.35f;
    Outline beam = {{x0, y0 - 0.24f}, {x1, y1 - 0.24f}, {x1, y1}, {x0, y0}};
    mesh_append(m, slab(beam, 0.09f, 0.04f));
    return colored_model("notes", painted(std::move(m), 0xFF6A44D0));
}

ModelOut make_bow()
{
    Mesh loops, folds, tails;
    for (int side = -1; side <= 1; side += 2) {
        float s = float(side);
        Mesh loop = turned(slab(outline_ellipse(0, 0, 0.55f, 0.36f), 0.13f, 0.08f),
                           xf_rot_z(vm_deg_to_rad(18.0f * s)));
        mesh_append(loops, moved(loop, 0.52f * s, 0.12f, 0));
        Mesh fold = turned(slab(outline_ellipse(0, 0, 0.22f, 0.13f), 0.03f, 0.02f),
                           xf_rot_z(vm_deg_to_rad(18.0f * s)));
        mesh_append(folds, moved(fold, 0.42f * s, 0.1f, 0.13f));
        Outline tail = {{0.0f, -0.05f},
                        {0.14f * s, 0.02f},
                        {0.5f * s, -0.8f},
                        {0.36f * s, -0.72f},
                        {0.28f * s, -0.95f}};
        mesh_append(tails, slab(tail, 0.08f, 0.04f, -0.05f));
    }
    Mesh knot = painted(mesh_box(0.2f, 0.22f, 0.17f, 0.07f), 0xFFE8488C);
    return colored_model("bow", join({painted(tails, 0xFFF04A92), painted(loops, 0xFFFF5FA2),
                                      painted(folds, 0xFFC93070), moved(knot, 0, 0.1f, 0.02f)}));
}

ModelOut make_crown()
{
    Outline o = {{-0.9f, -0.6f}, {0.9f, -0.6f},   {0.95f, 0.55f}, {0.72f, 0.05f},
                 {0.48f, 0.7f},  {0.24f, 0.05f},  {0.0f, 0.85f},  {-0.24f, 0.05f},
                 {-0.48f, 0.7f}, {-0.72f, 0.05f}, {-0.95f, 0.55f}};
    Mesh body = painted(slab(o, 0.14f, 0.06f), 0xFFF2B51C);
    Mesh band = painted(mesh_box(0.93f, 0.16f, 0.17f, 0.06f), 0xFFD8961A);
    Mesh m = join({body, moved(band, 0, -0.46f, 0)});
    const Vec2 tips[5] = {
        {-0.95f, 0.55f}, {-0.48f, 0.7f}, {0.0f, 0.85f}, {0.48f, 0.7f}, {0.95f, 0.55f}};
    for (Vec2 t : tips)
        mesh_append(m, painted(moved(mesh_sphere(0.1f), t[0], t[1], 0), 0xFFFFE070));
    const uint32_t gem_colour[3] = {0xFF2F6FE0, 0xFFD81E3C, 0xFF2FB85A};
    const Outline gem = {{0.0f, 0.13f}, {-0.1f, 0.0f}, {0.0f, -0.13f}, {0.1f, 0.0f}};
    for (int k = 0; k < 3; k++)
        mesh_append(m, painted(moved(slab(gem, 0.04f, 0.03f), 0.5f * float(k - 1), -0.46f, 0.18f),
                               gem_colour[k]));
    return colored_model("crown", std::move(m));
}

ModelOut make_flower()
{
    Outline petals = outline_polar([](float a) {
        return 0.55f + 0.45f * std::pow(std::fabs(std::cos(2.5f * a + VM_PI / 2)), 0.6f);
    });
    Mesh m = painted(slab(petals, 0.1f, 0.07f), 0xFFFF7EB6);
    paint_by(m, [](Vec3 p) { return std::hypot(p[0], p[1]) < 0.62f ? 0xFFFFB0D4u : 0xFFFF6FAEu; });
    Mesh centre = painted(turned(mesh_sphere(0.36f), xf_scale(1, 1, 0.45f)), 0xFFFFC82E);
    return colored_model("flower", join({m, moved(centre, 0, 0, 0.1f)}));
}

ModelOut make_sun()
{
    Mesh rays = painted(slab(outline_star(12, 1.0f, 0.72f, 0), 0.08f, 0.04f), 0xFFFF9A1E);
    Mesh disc = painted(slab(outline_circle(0, 0, 0.64f), 0.15f, 0.09f), 0xFFFFD43A);
    Mesh face;
    for (int s = -1; s <= 1; s += 2)
        mesh_append(face, moved(slab(outline_ellipse(0, 0, 0.06f, 0.1f), 0.03f, 0.02f),
                                0.22f * float(s), 0.15f, 0.15f));
    const Outline smile =
        outline_arc(0, 0.02f, 0.3f, 0.3f, vm_deg_to_rad(200.0f), vm_deg_to_rad(340.0f));
    mesh_append(face, mesh_tube(at_depth(smile, 0.16f), 0.035f));
    return colored_model("sun", join({rays, disc, painted(face, 0xFF8A3A10)}));
}

ModelOut make_ghost()
{
    // The dome right to left, then the wavy hem left to right, from corner to corner.
    auto wave = [](float t) {
        return Vec2{-0.7f + 1.4f * t, -0.75f + 0.07f * std::sin(t * 3 * 2 * VM_PI)};
    };
    Outline o = outline_arc(0, 0.2f, 0.7f, 0.7f, 0, VM_PI);
    const Outline hem = curve_points(wave, 0, 1);
    o.insert(o.end(), hem.begin(), hem.end());
    Mesh body = painted(slab(o, 0.18f, 0.04f), 0xD0F4F6FF);
    Mesh face;
    for (int s = -1; s <= 1; s += 2)
        mesh_append(face, moved(slab(outline_ellipse(0, 0, 0.09f, 0.14f), 0.03f, 0.02f),
                                0.25f * float(s), 0.25f, 0.18f));
    mesh_append(face,
                moved(slab(outline_ellipse(0, 0, 0.1f, 0.08f), 0.03f, 0.02f), 0, -0.08f, 0.18f));
    return colored_model("ghost_z1_P1", join({body, painted(face, 0xFF262640)}));
}

// ---- revolved shapes ----------------------------------------------------------------

ModelOut make_diamond()
{
    std::vector<Vec2> profile = {
        {0.0f, 0.55f}, {0.55f, 0.55f}, {0.95f, 0.22f}, {0.95f, 0.15f}, {0.0f, -0.95f}};
    Mesh m = mesh_revolve(profile, 10, 5.0f);
    mesh_apply(m, xf_rot_x(vm_deg_to_rad(10)));
    mesh_flatten(m);
    paint_by(m, [](Vec3 p) { return p[1] > 0.2f ? 0xFFA8E8FFu : 0xFF6CC8F4u; });
    return colored_model("diamond_A1", std::move(m));
}

ModelOut make_tophat()
{
    std::vector<Vec2> profile = {{0.0f, 0.95f},    {0.47f, 0.95f},    {0.5f, 0.9f},
                                 {0.47f, -0.12f},  {0.466f, -0.122f}, {0.452f, -0.3f},
                                 {0.45f, -0.302f}, {0.9f, -0.33f},    {0.97f, -0.38f},
                                 {0.9f, -0.43f},   {0.4f, -0.42f},    {0.0f, -0.42f}};
    Mesh m = mesh_revolve(profile, arc_segments(0.97f));
    paint_by(m, [](Vec3 p) {
        bool band = p[1] <= -0.121f && p[1] >= -0.301f && std::hypot(p[0], p[2]) < 0.48f;
        return band ? 0xFFC0203Au : 0xFF34343E;
    });
    return colored_model("tophat", turned(m, xf_rot_x(vm_deg_to_rad(14))));
}

ModelOut make_partyhat()
{
    std::vector<Vec2> profile = {{0.0f, 0.95f}};
    const int bands = 6;
    for (int b = 1; b <= bands; b++) {
        float t = float(b) / float(bands);
        float y = 0.95f - 1.5f * t, r = 0.6f * t;
        profile.push_back({r - 0.003f, y + 0.005f});
        profile.push_back({r, y});
    }
    profile.push_back({0.63f, -0.6f});
    profile.push_back({0.0f, -0.6f});
    Mesh cone = mesh_revolve(profile, arc_segments(0.63f), 60.0f);
    paint_by(cone, [](Vec3 p) {
        int band = int(std::floor((0.95f - p[1]) / 1.5f * 6.0f - 0.02f));
        return band % 2 ? 0xFFFFD23Cu : 0xFF2F8CFFu;
    });
    Mesh pom = painted(moved(mesh_sphere(0.17f), 0, 1.02f, 0), 0xFFFF5FA2);
    return colored_model("partyhat", turned(join({cone, pom}), xf_rot_z(vm_deg_to_rad(-12))));
}

ModelOut make_balloon()
{
    auto outline = [](float a) {
        return Vec2{0.66f * std::pow(std::sin(a), 1.0f + 0.6f * a / VM_PI),
                    0.82f * std::cos(a) + 0.1f};
    };
    auto hanging = [](float t) { return Vec2{0.08f * std::sin(t * 2 * VM_PI), -0.84f - 0.5f * t}; };
    std::vector<Vec2> profile = curve_points(outline, 0, VM_PI);
    profile.front()[0] = profile.back()[0] = 0;  // on the axis
    Mesh body = painted(mesh_revolve(profile, arc_segments(0.66f), 60.0f), 0xFFE8233A);
    Mesh knot =
        painted(mesh_revolve({{0.0f, -0.7f}, {0.08f, -0.8f}, {0.06f, -0.84f}, {0.0f, -0.84f}},
                             arc_segments(0.08f)),
                0xFFC01A2C);
    Mesh string = painted(mesh_tube(at_depth(curve_points(hanging, 0, 1), 0), 0.03f), 0xFF9A9A9A);
    return colored_model("balloon", join({body, knot, string}));
}

ModelOut make_apple()
{
    // The profile is a smooth curve through these points.
    const std::vector<Vec2> through = {{0.0f, 0.58f},  {0.12f, 0.66f},  {0.35f, 0.78f},
                                       {0.6f, 0.73f},  {0.8f, 0.5f},    {0.88f, 0.2f},
                                       {0.82f, -0.2f}, {0.66f, -0.55f}, {0.42f, -0.76f},
                                       {0.16f, -0.8f}, {0.0f, -0.74f}};
    Mesh body = mesh_revolve(curve_spline(through), arc_segments(0.88f), 80.0f);
    // Darker towards the stem: the shade deepens from the widest part up to the shoulder.
    paint_by(body, [](Vec3 p) {
        return blend_over(0xFFDC2A2Eu, 0xFFB81C22u, std::clamp((p[1] - 0.2f) / 0.3f, 0.0f, 1.0f));
    });
    Mesh stem =
        painted(mesh_tube({{0.0f, 0.6f, 0.0f}, {0.03f, 0.8f, 0.0f}, {0.1f, 0.98f, 0.0f}}, 0.045f),
                0xFF6B4322);
    // Two mirrored arches of a sine, the upper one out and the lower one back.
    auto arch = [](float t) { return Vec2{0.5f * t, 0.13f * std::sin(VM_PI * t)}; };
    Outline leaf_o = curve_points(arch, 0, 1);
    for (size_t i = leaf_o.size() - 2; i > 0; i--) leaf_o.push_back({leaf_o[i][0], -leaf_o[i][1]});
    Mesh leaf =
        painted(turned(slab(leaf_o, 0.03f, 0.02f), xf_rot_z(vm_deg_to_rad(25))), 0xFF45B23E);
    return colored_model("apple", join({body, stem, moved(leaf, 0.08f, 0.85f, 0.1f)}));
}

// ---- glasses ------------------------------------------------------------------------

ModelOut make_glasses()
{
    Mesh frame, lenses;
    for (int s = -1; s <= 1; s += 2) {
        float x = 0.5f * float(s);
        mesh_append(frame, moved(mesh_torus(0.38f, 0.06f), x, 0, 0));
        mesh_append(lenses, moved(slab(outline_circle(0, 0, 0.36f), 0.015f, 0.01f), x, 0, 0));
        std::vector<Vec3> temple = {{0.86f * float(s), 0.08f, 0.0f},
                                    {0.95f * float(s), 0.08f, -0.15f},
                                    {0.97f * float(s), 0.08f, -0.8f},
                                    {0.97f * float(s), -0.08f, -1.0f}};
        mesh_append(frame, mesh_tube(temple, 0.045f));
    }
    auto bridge = [](float t) {
        return Vec2{-0.13f + 0.26f * t, 0.1f + 0.06f * std::sin(VM_PI * t)};
    };
    mesh_append(frame, mesh_tube(at_depth(curve_points(bridge, 0, 1), 0), 0.045f));
    mesh_paint(frame, 0xFF303848);
    mesh_paint(lenses, 0x9080C8FF);
    return colored_model("glasses", join({frame, lenses}));
}

// ---- textured shapes ----------------------------------------------------------------

Canvas beachball_texture()
{
    const uint32_t gore[6] = {0xFFE8283C, 0xFFFFFFFF, 0xFF2F7BE6,
                              0xFFFFD21E, 0xFFFFFFFF, 0xFF2FB85A};
    Canvas c = canvas_make(64, 32, 0xFFFFFFFF);
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            bool cap = y < 3 || y >= c.h - 3;
            c.px[size_t(y) * 64 + size_t(x)] = cap ? 0xFFFFFFFF : gore[x * 6 / 64];
        }
    return c;
}

ModelOut make_beachball()
{
    Mesh m = mesh_sphere(1.0f);
    return textured_model(
        "beachball", turned(m, xf_then(xf_rot_y(vm_deg_to_rad(20)), xf_rot_x(vm_deg_to_rad(25)))),
        "beachball.png");
}

Canvas present_texture()
{
    Canvas c = canvas_make(64, 64, 0xFF1FA89A);
    canvas_fill(
        c, [](float x, float y) { return sd_box(x, y, 32, 32, 64, 5, 0); }, 0xFFE8283C);
    canvas_fill(
        c, [](float x, float y) { return sd_box(x, y, 32, 32, 5, 64, 0); }, 0xFFE8283C);
    for (int k = 0; k < 4; k++) {  // a few dots on the paper
        float cx = k % 2 ? 14.0f : 50.0f, cy = k < 2 ? 14.0f : 50.0f;
        canvas_fill(
            c, [=](float x, float y) { return sd_circle(x, y, cx, cy, 4.0f); }, 0xFFF4F0C8);
    }
    return c;
}

ModelOut make_present()
{
    Mesh box = mesh_box(0.8f, 0.7f, 0.6f, 0.06f);
    Mesh bow;
    for (int s = -1; s <= 1; s += 2) {
        Mesh loop =
            turned(mesh_torus(0.22f, 0.06f), xf_then(xf_rot_y(vm_deg_to_rad(90)),
                                                     xf_rot_z(vm_deg_to_rad(-35.0f * float(s)))));
        mesh_append(bow, moved(loop, 0.2f * float(s), 0.85f, 0));
    }
    mesh_set_uv(bow, {0.5f, 0.5f});  // the ribbon's colour at the texture's centre
    return textured_model("present", turned(join({box, bow}), xf_rot_x(vm_deg_to_rad(12))),
                          "present.png");
}

Canvas coin_texture()
{
    Canvas c = canvas_make(64, 64, 0xFFE0A82A);
    canvas_fill(
        c, [](float x, float y) { return std::fabs(sd_circle(x, y, 32, 32, 27)) - 2.0f; },
        0xFFB07818);
    std::vector<Vec2> star;
    for (int i = 0; i < 10; i++) {
        float a = vm_deg_to_rad(-90.0f) + VM_PI * float(i) / 5.0f;
        float r = (i & 1) ? 8.0f : 18.0f;
        star.push_back({32 + r * std::cos(a), 33 + r * std::sin(a)});
    }
    canvas_fill(
        c, [&](float x, float y) { return sd_polygon(x, y, star); }, 0xFFF6CC4A);
    return c;
}

// Tangent-space normals (x right, y up, z out) from the height of a raised
// star and rim: the emboss the coin's texture paints.
Canvas coin_normal_texture()
{
    const int n = 64;
    std::vector<Vec2> star;
    for (int i = 0; i < 10; i++) {
        float a = vm_deg_to_rad(-90.0f) + VM_PI * float(i) / 5.0f;
        float r = (i & 1) ? 8.0f : 18.0f;
        star.push_back({32 + r * std::cos(a), 33 + r * std::sin(a)});
    }
    auto height = [&](float x, float y) {
        float s = std::clamp(-sd_polygon(x, y, star) / 2.5f, 0.0f, 1.0f);
        float rim =
            std::clamp(1.0f - (std::fabs(sd_circle(x, y, 32, 32, 27)) - 1.0f) / 2.0f, 0.0f, 1.0f);
        return std::max(s, rim) * 2.0f;
    };
    Canvas c = canvas_make(n, n, 0xFF8080FF);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            float fx = float(x) + 0.5f, fy = float(y) + 0.5f;
            float dx = height(fx + 1, fy) - height(fx - 1, fy);
            float dy = height(fx, fy - 1) - height(fx, fy + 1);  // image rows run down
            Vec3 nrm = v3_norm({-dx, -dy, 2.0f});
            auto enc = [](float v) { return uint32_t(std::lround((v * 0.5f + 0.5f) * 255.0f)); };
            c.px[size_t(y) * size_t(n) + size_t(x)] =
                0xFF000000u | enc(nrm[0]) << 16 | enc(nrm[1]) << 8 | enc(nrm[2]);
        }
    return c;
}

ModelOut make_coin()
{
    ExtrudeOpts e;
    e.half_depth = 0.1f;
    e.bevel = 0.06f;
    Mesh m = mesh_extrude(outline_circle(0, 0, 1.0f), e);
    return textured_model("coin_NRM", turned(m, xf_rot_y(vm_deg_to_rad(-15))), "coin.png");
}

Canvas butterfly_texture()
{
    Canvas c = canvas_make(64, 64, 0x00000000);
    for (int s = -1; s <= 1; s += 2) {
        float m = float(s);
        auto upper = [=](float x, float y) { return sd_circle(x, y, 32 + 15 * m, 22, 14); };
        auto lower = [=](float x, float y) { return sd_circle(x, y, 32 + 12 * m, 42, 10); };
        canvas_fill(
            c, [=](float x, float y) { return sd_union(upper(x, y), lower(x, y)) - 1.5f; },
            0xFF2A1A10);
        canvas_fill(
            c, [=](float x, float y) { return sd_union(upper(x, y), lower(x, y)) + 1.0f; },
            0xFFFF8A1E);
        canvas_fill(
            c, [=](float x, float y) { return sd_circle(x, y, 32 + 20 * m, 17, 3.5f); },
            0xFFFFF4D8);
        canvas_fill(
            c, [=](float x, float y) { return sd_circle(x, y, 32 + 14 * m, 43, 3.0f); },
            0xFFFFF4D8);
    }
    canvas_fill(
        c, [](float x, float y) { return sd_box(x, y, 32, 32, 3, 20, 3); }, 0xFF2A1A10);
    return c;
}

ModelOut make_butterfly()
{
    // Two thin cards in a shallow V carry the picture; the cut-out comes
    // from the texture's alpha.
    Mesh m;
    for (int s = -1; s <= 1; s += 2) {
        float x0 = s < 0 ? -1.0f : 0.0f;
        Outline card = {{x0, -1.0f}, {x0 + 1.0f, -1.0f}, {x0 + 1.0f, 1.0f}, {x0, 1.0f}};
        ExtrudeOpts e;
        e.half_depth = 0.012f;
        e.bevel = 0.006f;
        Mesh wing = mesh_extrude(card, e);
        mesh_apply(wing, xf_rot_y(vm_deg_to_rad(28.0f * float(s))));
        mesh_append(m, wing);
    }
    Mesh body =
        mesh_tube({{0.0f, -0.62f, 0.03f}, {0.0f, 0.0f, 0.06f}, {0.0f, 0.62f, 0.03f}}, 0.07f);
    mesh_set_uv(body, {0.5f, 0.5f});  // the body's dark stripe
    mesh_append(m, body);
    return textured_model("butterfly_t2", std::move(m), "butterfly.png");
}

// Builds a model for the size it is drawn at: once to learn how much the fit
// enlarges its design, then again with the tolerance for that.
ModelOut tessellated(ModelOut (*make)())
{
    tess_set_fit_scale(1);
    tess_set_fit_scale(make().fit_scale);
    ModelOut m = make();
    tess_set_fit_scale(1);
    return m;
}

}  // namespace

std::vector<GroupOut> models_build()
{
    std::vector<GroupOut> g;
    g.push_back({"apple", {tessellated(make_apple)}, {}});
    g.push_back({"arrow", {tessellated(make_arrow)}, {}});
    g.push_back({"balloon", {tessellated(make_balloon)}, {}});
    g.push_back(
        {"beachball", {tessellated(make_beachball)}, {{"beachball.png", beachball_texture()}}});
    g.push_back({"bow", {tessellated(make_bow)}, {}});
    g.push_back(
        {"butterfly", {tessellated(make_butterfly)}, {{"butterfly.png", butterfly_texture()}}});
    g.push_back({"cloud", {tessellated(make_cloud)}, {}});
    g.push_back({"coin", {tessellated(make_coin)}, {{"coin.png", coin_texture()}}});
    g.push_back({"coin_NRM", {}, {{"coin_normal.png", coin_normal_texture()}}});
    g.push_back({"crown", {tessellated(make_crown)}, {}});
    g.push_back({"diamond", {tessellated(make_diamond)}, {}});
    g.push_back({"fish", {tessellated(make_fish)}, {}});
    g.push_back({"flower", {tessellated(make_flower)}, {}});
    g.push_back({"ghost", {tessellated(make_ghost)}, {}});
    g.push_back({"glasses", {tessellated(make_glasses)}, {}});
    g.push_back({"hats", {tessellated(make_tophat), tessellated(make_partyhat)}, {}});
    g.push_back({"heart", {tessellated(make_heart)}, {}});
    g.push_back({"leaf", {tessellated(make_leaf)}, {}});
    g.push_back({"lightning", {tessellated(make_lightning)}, {}});
    g.push_back({"moon", {tessellated(make_moon)}, {}});
    g.push_back({"notes", {tessellated(make_notes)}, {}});
    g.push_back({"present", {tessellated(make_present)}, {{"present.png", present_texture()}}});
    g.push_back({"speech", {tessellated(make_speech)}, {}});
    g.push_back({"star", {tessellated(make_star)}, {}});
    g.push_back({"sun", {tessellated(make_sun)}, {}});
    return g;
}

}  // namespace gm
