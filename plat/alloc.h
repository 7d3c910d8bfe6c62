// plat/alloc: the C library allocator's setting for this program.
//
// Provides the one call that sets the allocator, made at the program's start before the drawing
// device starts (and by gfx_test_window_create, so that tests and benchmarks run the same way).
// The software renderer allocates tens of megabytes in every frame (vertex buffers, binned
// triangles) and frees them at the frame's end. With the C library's defaults much of that goes
// back to the kernel at once and returns in the next frame as fresh pages to fault in and clear;
// with many patches that was about a fifth of the frame. The setting keeps a frame's memory in
// the process for the next frame.
// Callers rely on: calling it again changes nothing; it is safe while other threads allocate.
#pragma once

// 1 when the allocator took both settings; 0 when it refused them (as a sanitizer's does).
int plat_alloc_setup(void);
