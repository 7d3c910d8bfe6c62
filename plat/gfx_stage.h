// plat/gfx_stage: texture-stage settings that several drawing paths share.
#pragma once

// Colour and alpha of a stage 0..7 := texture x diffuse (MODULATE of TEXTURE
// and DIFFUSE for both).
void gfx_stage_modulate_texture_diffuse(int stage);
