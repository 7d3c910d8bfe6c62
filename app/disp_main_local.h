// app/disp_main_local: what disp_main.cpp shares with its white-box tests
// only: the probe that watches the start and stop steps, the priority bands
// and the 3D passes.
#pragma once

#include "app/disp_main.h"

// Sees each module start and stop step by name, each priority band as it is
// drawn and each 3D pass; null entries are skipped. Bands are also drawn by
// the draw-object manager; the probe only watches.
struct DispProbe {
    void (*step)(const char* name);
    void (*band)(int lo, int hi);
    void (*pass_begin)(int screen, int pass, int xform_set);
    void (*pass_end)(int screen);
};
void app_disp_set_probe(const DispProbe* probe);  // null: none
