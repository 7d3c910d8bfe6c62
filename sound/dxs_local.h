// sound/dxs_local: what dxs.cpp shares with its white-box tests only: the
// device volume a sound's base volume and volume give.
#pragma once

#include <cstdint>

int32_t dxs_volume_to_device(int32_t base, float v);
