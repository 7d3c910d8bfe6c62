// window_local: what the window module shares with the rest of plat/ (the
// input, dialog and file modules) and with its tests: the window's handle,
// the start of SDL video, the window pump the dialogs run, and the
// end-signal flag that stops dialogs and writes.
#pragma once

struct PlatWindow;

// The window's handle, null before creation.
PlatWindow* plat_window_main(void);

// Pumps the platform's events into SDL's queue (they stay there for the
// message queue) and answers 1 when the window was exposed since the last
// call: for redrawing while a modal dialog blocks the main loop.
int plat_window_pump_exposed(void);

// Starts SDL video once, with the hints the engine needs.
int plat_video_start(void);

// 1 once SIGTERM, SIGINT or SIGHUP came (the flag plat_install_term_handler's
// handler sets): open dialogs close as Cancel, writes to pipes give up.
int plat_term_requested(void);
