// disp/fog: linear fog of each screen (kept in the screen's camera block):
// enable, start and end distances, colour, and fades between them. The
// per-frame fade is part of disp_fade_frame. Main thread only.
#pragma once

#include <cstdint>

// Enable; also stops a running fog fade.
void fog_set_enable(int s, uint32_t flag);
// Set the value now, stop the fade, and make it the fade-from and target.
void fog_set_start(int s, float value);
void fog_set_end(int s, float value);
void fog_set_color(int s, uint32_t argb);
// Fade from the current value to the new one over frames. Start, end and
// colour share one counter, so a new fade restarts all three. A fade of 0
// frames or fewer sets the value at once.
void fog_fade_start(int s, float value, int32_t frames);
void fog_fade_end(int s, float value, int32_t frames);
void fog_fade_color(int s, uint32_t argb, int32_t frames);

uint32_t fog_get_enable(int s);
float fog_get_start(int s);
float fog_get_end(int s);
uint32_t fog_get_color(int s);
const float* fog_get_color_f(int s);
// Start and end for linear fog arithmetic: an end equal to the start is
// moved just past it (so 1 / (end - start) stays finite), a value that is
// not finite becomes 0.
void fog_get_range(int s, float* out_start, float* out_end);

// Device fog states of the screen: FOGCOLOR, FOGSTART, FOGEND (fog_get_range),
// FOGTABLEMODE linear, FOGVERTEXMODE none, RANGEFOGENABLE 0. The enable
// comes with each draw's render state.
void fog_apply(int s);
