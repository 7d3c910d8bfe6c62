// Pi and the multiples of it the engine turns by, as the floats every angle is
// computed with, and degrees turned into radians with them. Standing alone (no
// records) so that the data tools can take them too; the identity matrices are
// with their records in vm_types.h.
#pragma once

#include <numbers>

inline constexpr float VM_PI = std::numbers::pi_v<float>;
inline constexpr float VM_TWO_PI = 2.0f * VM_PI;   // doubling and halving are exact, so
inline constexpr float VM_HALF_PI = 0.5f * VM_PI;  // each is the float nearest its value

static_assert(VM_TWO_PI == 6.28318530717958647692f && VM_HALF_PI == 1.57079632679489661923f);

// An angle in degrees in radians: times pi, then over 180, each step in float.
constexpr float vm_deg_to_rad(float deg) { return deg * VM_PI / 180.0f; }
