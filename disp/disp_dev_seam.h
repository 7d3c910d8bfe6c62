// disp/disp_dev_seam: the one place where the view modules (display
// parameters, cameras, fog, lighting) reach the drawing device.
//
// Every entry maps one-to-one onto a Direct3D 9-style device call:
//   set_transform        SetTransform(VIEW / PROJECTION, matrix)
//   set_render_state     SetRenderState(state, value); float states take the
//                        float's bits, as Direct3D does
//   set_light            SetLight(index, light)
//   light_enable         LightEnable(index, flag)
//   request_mode_change  the device layer's deferred display-mode change
//   get_mode             the device layer's current mode (0 windowed, 1 full)
// The device start installs the real calls with disp_dev_seam_set; until
// then every entry does nothing (get_mode answers 0), so the view modules run
// and are tested without a device. Main thread only.
#pragma once

#include <cstdint>

#include "math/vm_types.h"

enum DispDevTransform : int { DISP_DEV_TS_VIEW, DISP_DEV_TS_PROJECTION };

// The render states these modules set (Direct3D 9 meaning).
enum DispDevRs : int {
    DISP_DEV_RS_FOGCOLOR,        // 0xAARRGGBB
    DISP_DEV_RS_FOGSTART,        // float bits
    DISP_DEV_RS_FOGEND,          // float bits
    DISP_DEV_RS_FOGTABLEMODE,    // DispDevFogMode
    DISP_DEV_RS_FOGVERTEXMODE,   // DispDevFogMode
    DISP_DEV_RS_RANGEFOGENABLE,  // 0 or 1
};
enum DispDevFogMode : uint32_t { DISP_DEV_FOG_NONE = 0, DISP_DEV_FOG_LINEAR = 3 };

struct DispDevColorF {
    float r, g, b, a;
};

// A directional light as SetLight takes it.
struct DispDevLight {
    DispDevColorF diffuse, specular, ambient;
    Vec3 position;
    Vec3 direction;  // the way the light travels
    float range, falloff, attenuation0, attenuation1, attenuation2, theta, phi;
};

struct DispDevSeam {
    void (*set_transform)(DispDevTransform which, const Mat44* m);
    void (*set_render_state)(DispDevRs state, uint32_t value);
    void (*set_light)(int index, const DispDevLight* light);
    void (*light_enable)(int index, int enable);
    void (*request_mode_change)(int width, int height, int mode);
    int (*get_mode)();
};

// Installs the calls; a null entry keeps (or restores) its no-op default.
void disp_dev_seam_set(const DispDevSeam& seam);
// Back to the no-op defaults.
void disp_dev_seam_reset();
const DispDevSeam& disp_dev_seam();
// The float's bits, as float render states take them.
uint32_t disp_dev_float_bits(float value);
