// objx/plight_debug: the point lights' debug view, toggled by F9: each
// active light drawn as a disc facing screen 0's camera. It makes 3D
// primitive lists, so it sits above the 3D object types, apart from the
// point lights themselves.
#pragma once

// Per frame when called: a newly pressed F9 toggles the view; while it is on
// every active light gets a one-frame disc of its range.
void plight_debug_draw();
