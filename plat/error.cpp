// The per-thread last-error word and the report of a call made out of order (see error.h).
#include "plat/error.h"

#include "plat/log_text.h"

namespace {
thread_local uint32_t g_last_error = PLAT_ERROR_SUCCESS;
}

void plat_set_last_error(uint32_t code) { g_last_error = code; }

uint32_t plat_get_last_error(void) { return g_last_error; }

void plat_report_misuse(const char* what)
{
#ifndef NDEBUG
    plat_log_line("quorvel: %s (refused)", what ? what : "a call out of order");
#else
    (void)what;
#endif
}
