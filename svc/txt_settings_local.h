// txt_settings_local: the settings text's value parser, shared with its tests.
#pragma once

#include <cstdint>

// The value parser: '-' anywhere makes the result negative, every other
// character counts as the digit (c - '0'); 32-bit wrap-around.
int32_t txt_settings_parse_int(const char* value);
