// plat/flush: forcing a file's data to the disk.
//
// Provides a write-through flush by name: a regular file's data and metadata
// are synced to the disk (a missing one is first made empty through
// plat_write_file; anything but a regular file is refused). Nothing is opened
// for writing. Used after writing files that must survive a power loss
// (arcade settings, the performance log).
#pragma once

// 1 when the file could be opened and synced, else 0.
int plat_flush_file(const char* name);
