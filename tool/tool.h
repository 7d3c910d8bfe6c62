// The patch tool: the application's only scene (row 0 of the scene table).
// Over its first frames it lists and loads every model group of the model
// directory within 90 percent of each frame's time, then builds the
// background picture from the image built into the program; from then on it
// runs the side buttons and icon palette, the background's move and scale,
// the help text and the keys H and L once per frame. The patches are draw
// objects with their own update callback.
// These three calls are the scene's whole interface (game_scene.h is the
// folder's other public header). Its modules are the tool's own, each behind
// a local header: the buttons and palette
// (tool_palette_local.h), the patches (tool_patch_local.h), saving
// (tool_save_local.h), the model groups' loading (mdl_load_local.h), name tags
// (nametag_local.h) and the folder listing (dir_list_local.h); what the
// tool's files share beyond that (the state record, the background's fit,
// small helpers, queries) is tool_local.h.
// Main thread only: tool_frame runs in the application update, before the
// display frame whose update pass runs the patches.
#pragma once

// ---- scene -----------------------------------------------------------------------
void tool_init(void);
int tool_frame(void);  // always 0: the scene never ends by itself
void tool_term(void);
