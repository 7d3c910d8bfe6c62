#include "plat/gfx_stage.h"

#include "plat/gfx.h"

void gfx_stage_modulate_texture_diffuse(int stage) {
    gfx_set_texture_stage_state(stage, GFX_TSS_COLOROP, GFX_TOP_MODULATE);
    gfx_set_texture_stage_state(stage, GFX_TSS_COLORARG1, GFX_TA_TEXTURE);
    gfx_set_texture_stage_state(stage, GFX_TSS_COLORARG2, GFX_TA_DIFFUSE);
    gfx_set_texture_stage_state(stage, GFX_TSS_ALPHAOP, GFX_TOP_MODULATE);
    gfx_set_texture_stage_state(stage, GFX_TSS_ALPHAARG1, GFX_TA_TEXTURE);
    gfx_set_texture_stage_state(stage, GFX_TSS_ALPHAARG2, GFX_TA_DIFFUSE);
}
