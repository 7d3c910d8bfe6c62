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
#include <cstddef>

// Free memory at the top of the heap goes back to the kernel only beyond this much: more than
// the renderer frees at once at the end of a frame (up to about 50 MB with 512 patches in a
// 1280 x 1024 window).
constexpr size_t PLAT_ALLOC_TRIM_BYTES = size_t(64) << 20;
// Blocks of at least this size get a mapping of their own, returned to the kernel when freed;
// smaller ones are reused from the heap. Setting the trim above turns off the C library's own
// raising of this bound; this is the ceiling that raising would reach on 64-bit.
constexpr size_t PLAT_ALLOC_MMAP_BYTES = size_t(32) << 20;

// 1 when the allocator took both settings; 0 when it refused them (as a sanitizer's does).
int plat_alloc_setup(void);
