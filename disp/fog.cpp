// disp/fog: fog setters, fades and the device fog states.
#include "disp/fog.h"

#include <cmath>

#include "disp/disp_dev_seam.h"
#include "disp/disp_work.h"
#include "math/vm_color.h"

namespace {

CamBlock& cam_of(int s) { return disp_work().cam[disp_screen_index(s)]; }

template <typename T>
void set_now(CamBlock& c, T& value, T& from, T& target, T v)
{
    value = v;
    from = v;
    target = v;
    c.fog_fade_counter = 0;
}

template <typename T>
void fade_to(CamBlock& c, const T& value, T& from, T& target, T v, int32_t frames)
{
    from = value;
    target = v;
    c.fog_fade_counter = frames;
    c.fog_fade_total = frames;
}

float finite_or_zero(float v) { return std::isfinite(v) ? v : 0.0f; }

}  // namespace

void fog_set_enable(int s, uint32_t flag)
{
    CamBlock& c = cam_of(s);
    c.fog_enable = flag;
    c.fog_fade_counter = 0;
}

void fog_set_start(int s, float value)
{
    CamBlock& c = cam_of(s);
    set_now(c, c.fog_start, c.fog_from_start, c.fog_target_start, value);
}

void fog_set_end(int s, float value)
{
    CamBlock& c = cam_of(s);
    set_now(c, c.fog_end, c.fog_from_end, c.fog_target_end, value);
}

void fog_set_color(int s, uint32_t argb)
{
    CamBlock& c = cam_of(s);
    set_now(c, c.fog_color, c.fog_from_color, c.fog_target_color, argb);
    color_to_f4(c.fog_color_f, argb);
}

// The per-frame fade runs only while the counter is above 0, so a fade of
// no frames would never show its value: it is a plain set instead.
void fog_fade_start(int s, float value, int32_t frames)
{
    if (frames <= 0) return fog_set_start(s, value);
    CamBlock& c = cam_of(s);
    fade_to(c, c.fog_start, c.fog_from_start, c.fog_target_start, value, frames);
}

void fog_fade_end(int s, float value, int32_t frames)
{
    if (frames <= 0) return fog_set_end(s, value);
    CamBlock& c = cam_of(s);
    fade_to(c, c.fog_end, c.fog_from_end, c.fog_target_end, value, frames);
}

void fog_fade_color(int s, uint32_t argb, int32_t frames)
{
    if (frames <= 0) return fog_set_color(s, argb);
    CamBlock& c = cam_of(s);
    fade_to(c, c.fog_color, c.fog_from_color, c.fog_target_color, argb, frames);
}

uint32_t fog_get_enable(int s) { return cam_of(s).fog_enable; }
float fog_get_start(int s) { return cam_of(s).fog_start; }
float fog_get_end(int s) { return cam_of(s).fog_end; }
uint32_t fog_get_color(int s) { return cam_of(s).fog_color; }
const float* fog_get_color_f(int s) { return cam_of(s).fog_color_f; }

void fog_get_range(int s, float* out_start, float* out_end)
{
    const CamBlock& c = cam_of(s);
    const float start = finite_or_zero(c.fog_start);
    float end = finite_or_zero(c.fog_end);
    if (end == start) {
        // A width of 1e-6 relative to the distance still differs in float.
        const float width = std::fmax(1e-6f, std::fabs(start) * 1e-6f);
        end = start + width;
    }
    if (out_start) *out_start = start;
    if (out_end) *out_end = end;
}

void fog_apply(int s)
{
    float start, end;
    fog_get_range(s, &start, &end);
    const DispDevSeam& dev = disp_dev_seam();
    dev.set_render_state(DISP_DEV_RS_FOGCOLOR, fog_get_color(s));
    dev.set_render_state(DISP_DEV_RS_FOGSTART, disp_dev_float_bits(start));
    dev.set_render_state(DISP_DEV_RS_FOGEND, disp_dev_float_bits(end));
    dev.set_render_state(DISP_DEV_RS_FOGTABLEMODE, DISP_DEV_FOG_LINEAR);
    dev.set_render_state(DISP_DEV_RS_FOGVERTEXMODE, DISP_DEV_FOG_NONE);
    dev.set_render_state(DISP_DEV_RS_RANGEFOGENABLE, 0);
}
