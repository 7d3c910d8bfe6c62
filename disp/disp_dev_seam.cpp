// disp/disp_dev_seam: no-op defaults and installation of the device calls.
#include "disp/disp_dev_seam.h"

#include <cstring>

namespace {

void noop_set_transform(DispDevTransform, const Mat44*) {}
void noop_set_render_state(DispDevRs, uint32_t) {}
void noop_set_light(int, const DispDevLight*) {}
void noop_light_enable(int, int) {}
void noop_request_mode_change(int, int, int) {}
int noop_get_mode() { return 0; }

constexpr DispDevSeam DISP_DEV_NOOP_SEAM = {noop_set_transform,       noop_set_render_state,
                                            noop_set_light,           noop_light_enable,
                                            noop_request_mode_change, noop_get_mode};

DispDevSeam g_seam = DISP_DEV_NOOP_SEAM;

template <typename F>
void take_or_default(F& dst, F src, F fallback)
{
    dst = src ? src : fallback;
}

}  // namespace

void disp_dev_seam_set(const DispDevSeam& seam)
{
    take_or_default(g_seam.set_transform, seam.set_transform, DISP_DEV_NOOP_SEAM.set_transform);
    take_or_default(g_seam.set_render_state, seam.set_render_state,
                    DISP_DEV_NOOP_SEAM.set_render_state);
    take_or_default(g_seam.set_light, seam.set_light, DISP_DEV_NOOP_SEAM.set_light);
    take_or_default(g_seam.light_enable, seam.light_enable, DISP_DEV_NOOP_SEAM.light_enable);
    take_or_default(g_seam.request_mode_change, seam.request_mode_change,
                    DISP_DEV_NOOP_SEAM.request_mode_change);
    take_or_default(g_seam.get_mode, seam.get_mode, DISP_DEV_NOOP_SEAM.get_mode);
}

void disp_dev_seam_reset() { g_seam = DISP_DEV_NOOP_SEAM; }

const DispDevSeam& disp_dev_seam() { return g_seam; }

uint32_t disp_dev_float_bits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
