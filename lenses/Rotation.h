// Rotation of a vector about an axis through the origin (Rodrigues' formula), single precision.
#pragma once

#include <cmath>

#include "host/HostRecords.h"

namespace cvl {

// Turns v about axis by angle radians (right-handed) into out. The axis need not be of unit
// length; a zero axis leaves only the cosine term, out = cos(angle) * v. out may be the same
// vector as v or as axis. Defined here so the shaders can inline it.
inline void rotateAroundAxis(const HostVector* axis, const HostVector* v, HostVector* out,
                             float angle) {
    // The axis is normalised first: that work is independent of the sine and cosine and runs
    // alongside them.
    HostVector k = *axis;
    const float len =
        static_cast<float>(std::sqrt(static_cast<double>(k.y * k.y + k.x * k.x + k.z * k.z)));
    if (len != 0.0f) {  // a NaN length is not zero and normalises to NaN, as it should
        const float inverseLength = 1.0f / len;
        k.x *= inverseLength;
        k.y *= inverseLength;
        k.z *= inverseLength;
    }

    // Trigonometry is evaluated in double and rounded once to float, so every build of the
    // library gives the same bits.
    const float cosA = static_cast<float>(std::cos(static_cast<double>(angle)));
    const float sinA = static_cast<float>(std::sin(static_cast<double>(angle)));

    const HostVector u = *v;  // out may alias v
    const float dot = k.x * u.x + k.y * u.y + k.z * u.z;
    const float m = (1.0f - cosA) * dot;
    const HostVector km{k.x * m, k.y * m, k.z * m};
    const HostVector cross{k.y * u.z - k.z * u.y, k.z * u.x - k.x * u.z, k.x * u.y - k.y * u.x};

    out->x = (cosA * u.x + km.x) + sinA * cross.x;
    out->y = (cosA * u.y + km.y) + sinA * cross.y;
    out->z = (cosA * u.z + km.z) + sinA * cross.z;
}

}  // namespace cvl
