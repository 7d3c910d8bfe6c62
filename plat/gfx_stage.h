// plat/gfx_stage: texture-stage settings that several drawing paths share.
#pragma once

#include <cstdint>

// Colour and alpha of a stage 0..7 := op(arg1, arg2), the same for both.
void gfx_stage_ops(int stage, uint32_t op, uint32_t arg1, uint32_t arg2);

// Colour and alpha of a stage 0..7 := texture x diffuse (MODULATE of TEXTURE
// and DIFFUSE for both).
void gfx_stage_modulate_texture_diffuse(int stage);
