// disp/disp_hooks_local: places where the draw-object manager tells the
// display about its resets and group releases (the display's own: no other
// folder calls them). The display keeps nothing that needs them today, so
// they do nothing; they stay so that the calls have one home.
#pragma once

#include <cstdint>

void disp_hook_on_obj_reset();
void disp_hook_on_group_release(uint32_t group);
