// disp/disp_hooks: the draw-object manager's notifications to the display.
#include "disp/disp_hooks_local.h"

void disp_hook_on_obj_reset() {}
void disp_hook_on_group_release(uint32_t) {}
