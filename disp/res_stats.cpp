// The resource manager's usage report queued into a text draw list (see res_stats.h).
#include "disp/res_stats.h"

#include "svc/textlist.h"
#include "res/res.h"

namespace {
constexpr uint32_t DISP_RES_STATS_COLOR = 0xFFFFFFFFu;
}  // namespace

void res_stats_print(int32_t text_list, int32_t x, int32_t y)
{
    char line[160];
    for (int i = 0; i < RES_STATS_LINES; i++)
        if (res_stats_line(i, line, sizeof line))
            textlist_printf_at(text_list, x, y + i * RES_STATS_LINE_STEP, DISP_RES_STATS_COLOR,
                               "%s", line);
}
