// Render-state key, value tables and format tables (see rstate.h).
#include "disp/rstate.h"

namespace {

uint32_t put(int v, int shift, int bits) { return (uint32_t(v) & ((1u << bits) - 1u)) << shift; }

}  // namespace

RenderStateKey rstate_key_make(int lighting, int zwrite, int fog, int blend, int cull,
                               int alpha_ref, int zfunc, int fill, int filter) {
    return kRsValid | put(lighting, 2, 1) | put(zwrite, 4, 1) | put(fog, 5, 1) |
           put(blend, kRsBlendShift, kRsBlendBits) | put(cull, kRsCullShift, kRsCullBits) |
           put(alpha_ref, kRsAlphaRefShift, kRsAlphaRefBits) |
           put(zfunc, kRsZFuncShift, kRsZFuncBits) | put(fill, kRsFillShift, kRsFillBits) |
           put(filter, kRsFilterShift, kRsFilterBits);
}
