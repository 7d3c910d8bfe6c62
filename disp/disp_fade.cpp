// disp/disp_fade: per-frame scene step, its random range and fade ratio.
#include "disp/disp_fade.h"

#include <cmath>
#include <cstdlib>

#include "disp/disp_work.h"
#include "math/vm.h"

// ---- helpers ----------------------------------------------------------------------

float rand_range_f(float a, float b)
{
    const int r = std::rand();
    return float(a + (r % 10000) * (double(b) - a) / 10000.0);
}

float fade_ratio(int32_t counter, int32_t total, int32_t end)
{
    if (total == end) return 0.0f;
    return vm_clamp01(float((double(counter) - total) / (double(end) - total)));
}

// ---- per-frame steps ----------------------------------------------------------------

namespace {

void shake_step(CamBlock& cam)
{
    if (cam.shake_frames < 1) {
        cam.shake_offset_x = 0.0f;
        cam.shake_offset_y = 0.0f;
        return;
    }
    // The offsets use the amplitudes before this frame's decay.
    cam.shake_offset_x = rand_range_f(-cam.shake_amp_x, cam.shake_amp_x);
    cam.shake_offset_y = rand_range_f(-cam.shake_amp_y, cam.shake_amp_y);
    cam.shake_amp_x *= cam.shake_decay;
    cam.shake_amp_y *= cam.shake_decay;
    --cam.shake_frames;
}

Vec3 lerp_dir(const Vec3& a, const Vec3& b, float t)
{
    Vec3 v;
    vm_vec3_lerp(&v, &a, &b, t);
    vec3_normalize(&v, &v);
    return v;
}

void env_interpolate(EnvValues& cur, const EnvValues& base, const EnvValues& target, float t)
{
    cur.light_dir = lerp_dir(base.light_dir, target.light_dir, t);
    cur.hemi_dir = lerp_dir(base.hemi_dir, target.hemi_dir, t);
    for (int k = 0; k < ENV_COLORS; ++k)
        cur.color[k] = color_lerp(base.color[k], target.color[k], t);
}

void lset_interpolate(LightValues& cur, const LightValues& base, const LightValues& target, float t)
{
    cur.dir = lerp_dir(base.dir, target.dir, t);
    cur.color = color_lerp(base.color, target.color, t);
}

// Override first (the fade waits), then the fade, else the base. The same
// rule drives the lighting block and the light-set entry.
template <typename Block, typename Values, typename Interp>
void fade_values(Block& b, Values& cur, Values& base, const Values& target, const Values& over,
                 Interp interp)
{
    if (b.override_counter >= 1) {
        --b.override_counter;
        cur = over;
    } else if (b.fade_counter < 1) {
        cur = base;
    } else if (--b.fade_counter == 0) {
        base = target;
        cur = base;
    } else {
        interp(cur, base, target, fade_ratio(b.fade_counter, b.fade_total, 1));
    }
}

void env_step(EnvBlock& env)
{
    fade_values(env, env.cur, env.base, env.target, env.over, env_interpolate);
    for (int k = 0; k < ENV_COLORS; ++k) color_to_f4(env.color_f[k], env.cur.color[k]);
}

void lset_step(LightSetEntry& lset)
{
    fade_values(lset, lset.cur, lset.base, lset.target, lset.over, lset_interpolate);
    color_to_f4(lset.color_f, lset.cur.color);
}

void fog_step(CamBlock& cam)
{
    if (cam.fog_fade_counter <= 0) return;
    if (cam.fog_fade_counter == 1) {
        cam.fog_start = cam.fog_target_start;
        cam.fog_end = cam.fog_target_end;
        cam.fog_color = cam.fog_target_color;
    } else {
        // The ratio uses the counter before this frame's decrease, so the
        // first step shows the fade-from values.
        const float t = fade_ratio(cam.fog_fade_counter, cam.fog_fade_total, 1);
        cam.fog_start = vm_lerp(cam.fog_from_start, cam.fog_target_start, t);
        cam.fog_end = vm_lerp(cam.fog_from_end, cam.fog_target_end, t);
        cam.fog_color = color_lerp(cam.fog_from_color, cam.fog_target_color, t);
    }
    color_to_f4(cam.fog_color_f, cam.fog_color);
    --cam.fog_fade_counter;
}

}  // namespace

void disp_fade_frame()
{
    DispWork& w = disp_work();
    for (int s = 0; s < DISP_SCREENS; ++s) {
        shake_step(w.cam[s]);
        env_step(w.env[s]);
        lset_step(w.lset[s]);
        fog_step(w.cam[s]);
        int count = 0;
        for (int j = 0; j < DISP_SUB_VIEWS_PER_SCREEN; ++j)
            count += w.subview[DISP_SUB_VIEWS_PER_SCREEN * s + j].enable != 0;
        w.subview_count[s] = count;
    }
}
