// disp/res_stats: prints the resource manager's usage report (the lines
// res_stats_line formats) into a text draw list. It sits with the display,
// which shows the text lists, so the resource manager itself never draws.
// Main thread only.
#pragma once

#include <cstdint>

// Queues the fourteen report lines into a text draw list at y, y + 16, ...
void res_stats_print(int32_t text_list, int32_t x, int32_t y);
