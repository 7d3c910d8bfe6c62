// disp/disp_fade: the per-frame scene step of both screens (camera shake,
// lighting and light-set fades and overrides, fog fade, enabled sub-view
// count) and its random range and fade ratio. The colour and vector helpers
// it interpolates with are in math/vm_color.h and math/vm_small.h.
//
// The display update calls disp_fade_frame once at the start of every frame,
// before any update callback runs. All durations are counted in frames.
// Main thread only.
#pragma once

#include <cstdint>

// ---- per frame --------------------------------------------------------------------

// Screen 0, then screen 1: shake, lighting, light set, fog, sub-view count.
void disp_fade_frame();

// ---- helpers ----------------------------------------------------------------------

// a + (r mod 10000) * (b - a) / 10000 with r from std::rand.
float rand_range_f(float a, float b);
// 0 when total equals end; else (counter - total) / (end - total) in 0..1.
float fade_ratio(int32_t counter, int32_t total, int32_t end);
