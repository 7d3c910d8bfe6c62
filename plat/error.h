// The thread-local last-error word of the platform layer.
//
// Provides: the Windows-style error codes that the engine's own wrappers of
// operating-system services report (87 for a bad argument, 258 for a wait that
// timed out) and a per-thread word holding the latest one.
// Callers rely on: the word being per thread (the sound thread never sees the
// main thread's errors) and staying set until the next plat_set_last_error.
#pragma once
#include <cstdint>

constexpr uint32_t PLAT_ERROR_SUCCESS = 0;
constexpr uint32_t PLAT_ERROR_INVALID_PARAMETER = 87;
constexpr uint32_t PLAT_ERROR_ALREADY_EXISTS = 183;
constexpr uint32_t PLAT_WAIT_OBJECT_0 = 0;
constexpr uint32_t PLAT_WAIT_TIMEOUT = 258;
constexpr uint32_t PLAT_WAIT_FAILED = 0xFFFFFFFFu;

void plat_set_last_error(uint32_t code);
uint32_t plat_get_last_error(void);

// A module called out of its order (started twice, used before its start):
// the caller refuses the call either way; debug builds also say so on
// stderr, one line naming the call, so the mistake is found where it is made.
void plat_report_misuse(const char* what);
