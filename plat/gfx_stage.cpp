// Texture-stage settings that several drawing paths share, made of the device's stage states
// (see gfx_stage.h).
#include "plat/gfx_stage.h"

#include "plat/gfx.h"

void gfx_stage_ops(int stage, uint32_t op, uint32_t arg1, uint32_t arg2)
{
    gfx_set_texture_stage_state(stage, GFX_TSS_COLOROP, op);
    gfx_set_texture_stage_state(stage, GFX_TSS_COLORARG1, arg1);
    gfx_set_texture_stage_state(stage, GFX_TSS_COLORARG2, arg2);
    gfx_set_texture_stage_state(stage, GFX_TSS_ALPHAOP, op);
    gfx_set_texture_stage_state(stage, GFX_TSS_ALPHAARG1, arg1);
    gfx_set_texture_stage_state(stage, GFX_TSS_ALPHAARG2, arg2);
}

void gfx_stage_modulate_texture_diffuse(int stage)
{
    gfx_stage_ops(stage, GFX_TOP_MODULATE, GFX_TA_TEXTURE, GFX_TA_DIFFUSE);
}
