#include "plat/error.h"

namespace {
thread_local uint32_t g_last_error = PLAT_ERROR_SUCCESS;
}

void plat_set_last_error(uint32_t code) { g_last_error = code; }

uint32_t plat_get_last_error(void) { return g_last_error; }
