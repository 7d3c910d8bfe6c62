// gfx_reshow_local: the frame last presented, shown again; plat/dialogs.cpp is its one user.
//
// While a modal dialog runs, the main loop draws nothing; a window exposed in
// that time (a dialog moved across it or closed above it) would show whatever
// the window system left there. The device keeps a copy of the frame it last
// presented and can put it into the window again.
// Callers rely on: the copy is taken at most once per presented frame, so a
// copy taken before a frame starts drawing stays the whole last frame even
// when a second dialog opens while the next frame is half drawn.
// Main thread only, with the device's context current.
#pragma once

// Copies the back buffer unless a copy of the same presented frame exists.
// 1 when a copy exists afterwards; 0 without a device or a presented frame.
int gfx_frame_keep(void);
// Puts the kept copy into the window as present does; 1 or 0 (no copy for
// this device).
int gfx_frame_show_kept(void);
