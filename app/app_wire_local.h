// app/app_wire_local: the display driver's own wiring, which joins the
// display to the modules it works with at start:
// the device's links (resource manager, fonts, window, dialogs, clock, the
// cameras' screen rectangles), the view modules' device seam (transforms,
// fog states, the directional light, display mode) and the resource
// manager's services (settings text, frame time, files, the fatal error
// screen, and the device objects of disp/disp_wire_table).
//
// disp_boot installs everything before the device starts; disp_shutdown
// puts back what was there before; tests and benchmarks that start parts of
// the display one by one call the two themselves. Main thread only.
#pragma once

#include "disp/disp_wire_table.h"

void app_wire_install();
void app_wire_remove();
