// Rotation of a vector about an axis through the origin (Rodrigues' formula), single precision.
#pragma once

#include "host/HostRecords.h"

namespace cvl {

// Turns v about axis by angle radians (right-handed) into out. The axis need not be of unit
// length; a zero axis leaves only the cosine term, out = cos(angle) * v. out may be the same
// vector as v or as axis.
void rotateAroundAxis(const HostVector* axis, const HostVector* v, HostVector* out, float angle);

}  // namespace cvl
