// What the renderer and its host interface module share: the renderer's per-sample state
// record, which begins with the host state the lenses read, and the per-frame context the
// four host functions work from.
#pragma once

#include <cstdint>

#include "host/HostRecords.h"

namespace render {

using cvl::HostColor;
using cvl::HostVector;

// Rotation from camera space to the renderer's internal (world) space, as rows.
struct Rotation {
    float m[3][3];

    HostVector apply(const HostVector& v) const {
        return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
                m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
    }
    HostVector applyInverse(const HostVector& v) const {
        return {m[0][0] * v.x + m[1][0] * v.y + m[2][0] * v.z,
                m[0][1] * v.x + m[1][1] * v.y + m[2][1] * v.z,
                m[0][2] * v.x + m[1][2] * v.y + m[2][2] * v.z};
    }
};

// Traces one eye ray in world space; writes the colour, returns whether it was traced.
using TraceFunction = bool (*)(const void* world, const HostVector& origin,
                               const HostVector& direction, HostColor* color);

struct FrameContext {
    Rotation cameraToWorld;
    TraceFunction trace;
    const void* world;
    // The parameter block the lens runs with, and this frame's values of its connected
    // parameters, one 4-byte word per parameter.
    const std::uint32_t* parameterBlock;
    const std::uint32_t* connectedValues;
    int parameterCount;
};

// The host state the lens sees comes first, so the host module can get back to the rest.
struct SampleState {
    cvl::HostState host;
    const FrameContext* frame;
};

}  // namespace render
