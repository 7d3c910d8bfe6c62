// resload_local: the loader's step machine and texture list as the loader's
// tests set and read them, beside what resload.h gives every caller.
#pragma once

#include <cstdint>

#include "res/texlst_local.h"

// The ring's read and write positions and the step machine's step and status.
void resload_set_read(uint32_t v);
void resload_set_write(uint32_t v);
void resload_advance_read(uint32_t n);
void resload_set_step(int step);
int resload_get_step();
void resload_set_status(int status);
// The folder order: table positions (language + i) mod 3.
int resload_folder_order(int i);
// The texture list read from the texture folder's "tex.lst".
const TexList& resload_texlst();
