// disp/disp_work: the one display work block.
#include "disp/disp_work.h"

namespace {
DispWork g_work;
}

DispWork& disp_work() { return g_work; }

void disp_work_clear() { g_work = DispWork{}; }
