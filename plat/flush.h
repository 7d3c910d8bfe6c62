// plat/flush: forcing a file's data to the disk.
//
// Provides a write-through flush by name: the file is opened for writing
// (created empty when missing), its data and metadata are synced to the disk,
// and it is closed. Used after writing files that must survive a power loss
// (arcade settings, the performance log).
#pragma once

// 1 when the file could be opened and synced, else 0.
int plat_flush_file(const char* name);
