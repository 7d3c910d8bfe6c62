// The patch tool's icon atlas: each icon as painted layers inside its crop (see gm_icons.h).
#include "tools/gen_models/gm_icons.h"

#include <algorithm>
#include <cmath>

#include "math/vm_const.h"

namespace gm {

namespace {

constexpr uint32_t GM_ICONS_INK = 0xFF1C1C20;  // outlines
constexpr uint32_t GM_ICONS_WHITE = 0xFFFFFFFF;
constexpr uint32_t GM_ICONS_LIGHT = 0xFFD4D8DC;  // secondary faces
constexpr uint32_t GM_ICONS_MID = 0xFF7C8490;    // details
constexpr float GM_ICONS_OUTLINE = 1.4f;

struct Layer {
    Sdf shape;
    uint32_t fill;
};

// Draws the layers in order inside the crop, after one dark outline around
// their union, so every icon reads on light and dark pictures alike.
void draw_icon(Canvas& atlas, const IconCrop& crop, const std::vector<Layer>& layers)
{
    Canvas c = canvas_make(crop.w, crop.h, 0x00000000);
    Sdf all = [&](float x, float y) {
        float d = 1e30f;
        for (const Layer& l : layers) d = std::min(d, l.shape(x, y));
        return d;
    };
    canvas_fill(
        c, [&](float x, float y) { return all(x, y) - GM_ICONS_OUTLINE; }, GM_ICONS_INK);
    for (const Layer& l : layers) canvas_fill(c, l.shape, l.fill);
    canvas_blit(atlas, c, crop.x, crop.y);
}

// A solid arrowhead at the end of a stroke: tip ahead of p along the unit
// direction d.
Sdf arrow_head(float px, float py, float dx, float dy, float length, float half_width)
{
    float nx = -dy, ny = dx;
    std::vector<Vec2> tri = {{px + dx * length, py + dy * length},
                             {px - dx * 1.0f + nx * half_width, py - dy * 1.0f + ny * half_width},
                             {px - dx * 1.0f - nx * half_width, py - dy * 1.0f - ny * half_width}};
    return [tri](float x, float y) { return sd_polygon(x, y, tri); };
}

// The head at the counter-clockwise end (angle a1) of an ellipse arc.
Sdf arc_head(float cx, float cy, float rx, float ry, float a1)
{
    float px = cx + rx * std::cos(a1), py = cy - ry * std::sin(a1);
    float dx = -rx * std::sin(a1), dy = -ry * std::cos(a1);
    float l = std::hypot(dx, dy);
    return arrow_head(px, py, dx / l, dy / l, 5.5f, 4.5f);
}

std::vector<Layer> icon_disk()
{
    return {
        {[](float x, float y) { return sd_box(x, y, 16, 16, 12.5f, 12.5f, 2.5f); }, GM_ICONS_LIGHT},
        {[](float x, float y) { return sd_box(x, y, 16, 8.5f, 6.5f, 4.5f, 0.8f); }, GM_ICONS_MID},
        {[](float x, float y) { return sd_box(x, y, 18.5f, 8.5f, 1.4f, 2.8f, 0.4f); },
         GM_ICONS_INK},
        {[](float x, float y) { return sd_box(x, y, 16, 21.5f, 8.5f, 5.5f, 1.0f); },
         GM_ICONS_WHITE},
        {[](float x, float y) { return sd_segment(x, y, 10.5f, 20, 21.5f, 20, 0.5f); },
         GM_ICONS_MID},
        {[](float x, float y) { return sd_segment(x, y, 10.5f, 23.5f, 21.5f, 23.5f, 0.5f); },
         GM_ICONS_MID},
    };
}

std::vector<Layer> icon_dust()
{
    std::vector<Layer> l = {
        {[](float x, float y) {
             return sd_polygon(x, y, {{8.5f, 11}, {23.5f, 11}, {22, 28.5f}, {10, 28.5f}}) - 0.6f;
         },
         GM_ICONS_WHITE},
        {[](float x, float y) { return sd_box(x, y, 16, 8.2f, 11, 1.8f, 0.9f); }, GM_ICONS_LIGHT},
        {[](float x, float y) {
             return sd_arc(x, y, 16, 6.4f, 3.2f, 0.9f, vm_deg_to_rad(0), vm_deg_to_rad(180));
         },
         GM_ICONS_LIGHT},
    };
    for (float sx : {12.5f, 16.0f, 19.5f})
        l.push_back({[sx](float x, float y) {
                         return sd_segment(x, y, sx, 14.5f, sx - (sx - 16) * 0.08f, 25.5f, 0.75f);
                     },
                     GM_ICONS_MID});
    return l;
}

std::vector<Layer> icon_logo()
{
    // A "Q" for quorvel with a small sparkle: the button that opens the palette.
    std::vector<Vec2> sparkle;
    for (int i = 0; i < 8; i++) {
        float a = VM_PI * float(i) / 4.0f;
        float r = (i & 1) ? 1.4f : 4.6f;
        sparkle.push_back({24.5f + r * std::cos(a), 7.5f + r * std::sin(a)});
    }
    return {
        {[](float x, float y) { return sd_arc(x, y, 14, 17, 8.5f, 2.4f, 0, 2 * VM_PI); },
         GM_ICONS_WHITE},
        {[](float x, float y) { return sd_segment(x, y, 17.5f, 21, 22.5f, 26.5f, 2.3f); },
         GM_ICONS_WHITE},
        {[sparkle](float x, float y) { return sd_polygon(x, y, sparkle); }, GM_ICONS_WHITE},
    };
}

std::vector<Layer> icon_page_arrow(bool right)
{
    std::vector<Vec2> p = {{5, 12.5f},  {15.5f, 12.5f}, {15.5f, 6}, {27, 16},
                           {15.5f, 26}, {15.5f, 19.5f}, {5, 19.5f}};
    if (!right)
        for (Vec2& v : p) v[0] = 32 - v[0];
    return {{[p](float x, float y) { return sd_polygon(x, y, p) - 0.8f; }, GM_ICONS_WHITE}};
}

std::vector<Layer> icon_double_arrow(float len, bool vertical)
{
    // Along x for "aspect", along y for "scaley"; centred in a 2:1 crop.
    const float a = 8.5f, b = len - 8.5f;
    auto place = [vertical](float u, float v) { return vertical ? Vec2{v, u} : Vec2{u, v}; };
    Vec2 s0 = place(a, 16), s1 = place(b, 16);
    Vec2 d = vertical ? Vec2{0, 1} : Vec2{1, 0};
    return {
        {[=](float x, float y) { return sd_segment(x, y, s0[0], s0[1], s1[0], s1[1], 2.2f); },
         GM_ICONS_WHITE},
        {arrow_head(s1[0], s1[1], d[0], d[1], 5.5f, 6.0f), GM_ICONS_WHITE},
        {arrow_head(s0[0], s0[1], -d[0], -d[1], 5.5f, 6.0f), GM_ICONS_WHITE},
        {[=](float x, float y) {
             Vec2 m = place(len / 2, 16);
             return sd_box(x, y, m[0], m[1], 3.2f, 3.2f, 0.8f);
         },
         GM_ICONS_LIGHT},
    };
}

// Turning about an axis: the axis as a thin bar, an ellipse arc around it
// and an arrowhead showing the sense.
std::vector<Layer> icon_rotate(float rx, float ry, bool axis_horizontal, bool axis_dot)
{
    const float a0 = vm_deg_to_rad(120), a1 = vm_deg_to_rad(400);
    std::vector<Layer> l;
    if (axis_dot)
        l.push_back(
            {[](float x, float y) { return sd_circle(x, y, 16, 16, 2.6f); }, GM_ICONS_LIGHT});
    else if (axis_horizontal)
        l.push_back({[](float x, float y) { return sd_segment(x, y, 4.5f, 16, 27.5f, 16, 1.1f); },
                     GM_ICONS_LIGHT});
    else
        l.push_back({[](float x, float y) { return sd_segment(x, y, 16, 4.5f, 16, 27.5f, 1.1f); },
                     GM_ICONS_LIGHT});
    l.push_back(
        {[=](float x, float y) { return sd_ellipse_arc(x, y, 16, 16, rx, ry, 1.6f, a0, a1); },
         GM_ICONS_WHITE});
    l.push_back({arc_head(16, 16, rx, ry, a1), GM_ICONS_WHITE});
    return l;
}

}  // namespace

const std::vector<IconCrop>& icon_crops()
{
    static const std::vector<IconCrop> crops = {
        {"disk", 0, 0, 32, 32},     {"dust", 32, 0, 32, 32},   {"quorvel", 64, 0, 32, 32},
        {"left", 96, 0, 32, 32},    {"right", 128, 0, 32, 32}, {"rotx", 160, 0, 32, 32},
        {"roty", 192, 0, 32, 32},   {"rotz", 224, 0, 32, 32},  {"aspect", 0, 32, 64, 32},
        {"scaley", 64, 32, 32, 64},
    };
    return crops;
}

Canvas icon_atlas()
{
    Canvas atlas = canvas_make(ICON_ATLAS_W, ICON_ATLAS_H, 0x00000000);
    for (const IconCrop& c : icon_crops()) {
        std::vector<Layer> layers;
        if (c.name == "disk")
            layers = icon_disk();
        else if (c.name == "dust")
            layers = icon_dust();
        else if (c.name == "quorvel")
            layers = icon_logo();
        else if (c.name == "left")
            layers = icon_page_arrow(false);
        else if (c.name == "right")
            layers = icon_page_arrow(true);
        else if (c.name == "rotx")
            layers = icon_rotate(6.0f, 11.5f, true, false);
        else if (c.name == "roty")
            layers = icon_rotate(11.5f, 6.0f, false, false);
        else if (c.name == "rotz")
            layers = icon_rotate(10.5f, 10.5f, false, true);
        else if (c.name == "aspect")
            layers = icon_double_arrow(64, false);
        else if (c.name == "scaley")
            layers = icon_double_arrow(64, true);
        draw_icon(atlas, c, layers);
    }
    return atlas;
}

}  // namespace gm
