// Point lights: pool and lists, per-frame update and cull, the choice per
// object, releases.
#include "disp/plight.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "disp/cam.h"
#include "math/vm_color.h"
#include "math/vm_vec.h"
#include "util/pool_list.h"

namespace {

struct PlightBlock {
    std::array<PointLight, PLIGHT_POOL> light;
    PointLight* active;  // newest first
    PointLight* free;
    std::array<std::array<PointLight*, PLIGHT_POOL>, PLIGHT_SCREENS> visible;
    std::array<int, PLIGHT_SCREENS> visible_count;
    std::array<PointLight*, PLIGHT_POOL> scratch;
    int active_count;
    int debug;
};
PlightBlock g_pl;

bool is_active(const PointLight* l) { return l && (l->flags & PLIGHT_ACTIVE); }

uint32_t priority(const PointLight* l)
{
    return (l->flags & PLIGHT_PRIORITY_MASK) >> PLIGHT_PRIORITY_SHIFT;
}

// The active lights as they are now, so that callbacks that free or create
// lights never send the walk into the free list.
int snapshot(std::array<PointLight*, PLIGHT_POOL>& out)
{
    int n = 0;
    for (PointLight* l = g_pl.active; l && n < PLIGHT_POOL; l = l->next) out[size_t(n++)] = l;
    return n;
}

bool sphere_inside(const FrustumPlanes& f, const Vec3& p, float range)
{
    for (const Plane& pl : f.p)
        if (pl.a * p.x + pl.b * p.y + pl.c * p.z + pl.d < -range) return false;
    return true;
}

}  // namespace

void plight_pool_reset()
{
    g_pl = PlightBlock{};
    pool_list_init(g_pl.light.data(), PLIGHT_POOL, g_pl.free);
}

void plight_update_color(PointLight* l)
{
    const uint32_t c = l->color;
    color_to_f4(l->color_f, c);
    for (int i = 0; i < 3; ++i) l->color_f[i] *= l->intensity;
}

PointLight* plight_create(uint32_t owner, const Vec3* pos, float range, uint32_t color,
                          float intensity)
{
    PointLight* l = pool_list_take(g_pl.free, g_pl.active);
    if (!l) return nullptr;
    l->flags = PLIGHT_ACTIVE | PLIGHT_SHOWN | (PLIGHT_DEFAULT_PRIORITY << PLIGHT_PRIORITY_SHIFT);
    l->group_mask = 0xFFFFFFFFu;
    l->owner = owner;
    if (pos) l->pos = *pos;
    l->range = range;
    l->intensity = intensity;
    l->color = color;
    l->scale = 1.0f;
    ++g_pl.active_count;
    return l;
}

PointLight* plight_create_1f(uint32_t owner, const Vec3* pos, float range, uint32_t color,
                             float intensity)
{
    PointLight* l = plight_create(owner, pos, range, color, intensity);
    plight_set_1f(l);
    return l;
}

void plight_set_1f(PointLight* l)
{
    if (l) l->flags |= PLIGHT_END_OF_FRAME;
}

void plight_free(PointLight* l)
{
    if (!is_active(l)) return;
    l->flags &= ~PLIGHT_ACTIVE;
    pool_list_give(l, g_pl.free, g_pl.active);
    --g_pl.active_count;
}

void plight_frame()
{
    std::array<PointLight*, PLIGHT_POOL> list;
    const int n = snapshot(list);
    for (int i = 0; i < n; ++i) {
        PointLight* l = list[size_t(i)];
        if (!is_active(l)) continue;  // freed by an earlier callback
        const int result = l->update ? l->update(l) : 0;
        if (!is_active(l)) continue;  // the callback freed it itself
        plight_update_color(l);
        if (result) {
            if (l->release) l->release(l);
            plight_free(l);
        }
    }
}

void plight_cull()
{
    for (int s = 0; s < PLIGHT_SCREENS; ++s) {
        int& count = g_pl.visible_count[size_t(s)];
        count = 0;
        const FrustumPlanes* f = cam_get_frustum(s);
        for (PointLight* l = g_pl.active; l && f; l = l->next) {
            if (!sphere_inside(*f, l->pos, l->range)) continue;
            l->range_sq = l->range * l->range;
            g_pl.visible[size_t(s)][size_t(count++)] = l;
        }
    }
}

int plight_select_for_point(PointLight** out, int max_count, int screen, const Vec3* point,
                            float radius, uint32_t group_mask)
{
    if (screen < 0 || screen >= PLIGHT_SCREENS || !point) return 0;
    const Vec3* eye = cam_get_pos(screen);
    int taken = 0;
    const int visible = g_pl.visible_count[size_t(screen)];
    for (int i = 0; i < visible; ++i) {
        PointLight* l = g_pl.visible[size_t(screen)][size_t(i)];
        if (!is_active(l) || !(l->group_mask & group_mask)) continue;
        const float d2 = vm_vec3_dist_sq(point, &l->pos);
        if (!(d2 < radius * radius + l->range_sq)) continue;
        l->distance = (eye ? vm_vec3_dist_sq(eye, &l->pos) : 0.0f) + d2;
        g_pl.scratch[size_t(taken++)] = l;
    }
    auto first = g_pl.scratch.begin(), last = first + taken;
    if (taken > 1) {
        std::stable_sort(first, last, [](const PointLight* a, const PointLight* b) {
            return a->distance < b->distance;
        });
        for (int i = 0; i < taken; ++i) {
            PointLight* l = g_pl.scratch[size_t(i)];
            l->sort_key = (priority(l) << 16) | uint32_t(i);
        }
        std::sort(first, last, [](const PointLight* a, const PointLight* b) {
            return a->sort_key < b->sort_key;
        });
    }
    const int result = std::clamp(taken, 0, std::max(max_count, 0));
    if (out) std::copy(first, first + result, out);
    return result;
}

void plight_release_1f()
{
    std::array<PointLight*, PLIGHT_POOL> list;
    const int n = snapshot(list);
    for (int i = 0; i < n; ++i)
        if (list[size_t(i)]->flags & PLIGHT_END_OF_FRAME) plight_free(list[size_t(i)]);
}

void plight_kill_owner(uint32_t owner)
{
    if (owner == 0) return;
    std::array<PointLight*, PLIGHT_POOL> list;
    const int n = snapshot(list);
    for (int i = 0; i < n; ++i)
        if (list[size_t(i)]->owner == owner) plight_free(list[size_t(i)]);
}

void plight_set_debug(int on) { g_pl.debug = on ? 1 : 0; }

int plight_get_count() { return g_pl.active_count; }
int plight_visible_count(int s)
{
    return (s >= 0 && s < PLIGHT_SCREENS) ? g_pl.visible_count[size_t(s)] : 0;
}
PointLight* plight_visible(int s, int i)
{
    if (s < 0 || s >= PLIGHT_SCREENS || i < 0 || i >= g_pl.visible_count[size_t(s)]) return nullptr;
    return g_pl.visible[size_t(s)][size_t(i)];
}
int plight_debug_enabled() { return g_pl.debug; }
PointLight* plight_first_active() { return g_pl.active; }
