// The two exported lens shaders and their version exports.
#pragma once

#include <cstddef>

#include "host/HostRecords.h"
#include "host/Platform.h"

namespace cvl {

// The fisheye's parameter block, laid out by the host: six 4-byte fields in this order.
struct FisheyeParameters {
    float fieldOfView;       // full angle across the image circle's diameter, degrees
    float circleRadius;      // circle radius as a fraction of half the image width
    HostBoolean clipCircle;  // outside the circle becomes transparent black
    HostBoolean fadeCircle;  // fade toward the rim; also blacks out the outside
    HostBoolean fadeFrame;   // fade toward the frame's edges
    float fadeWidth;         // width of both fades, in circle / half-frame units
};

static_assert(sizeof(FisheyeParameters) == 24, "six 4-byte fields");
static_assert(offsetof(FisheyeParameters, fieldOfView) == 0, "fieldOfView");
static_assert(offsetof(FisheyeParameters, circleRadius) == 4, "circleRadius");
static_assert(offsetof(FisheyeParameters, clipCircle) == 8, "clipCircle");
static_assert(offsetof(FisheyeParameters, fadeCircle) == 12, "fadeCircle");
static_assert(offsetof(FisheyeParameters, fadeFrame) == 16, "fadeFrame");
static_assert(offsetof(FisheyeParameters, fadeWidth) == 20, "fadeWidth");

// The blacked-out sample: transparent black, reported as done, no ray traced.
inline HostBoolean blackOut(HostColor* result) {
    *result = HostColor{0.0f, 0.0f, 0.0f, 0.0f};
    return 1;
}

}  // namespace cvl

extern "C" {

// Equidistant fisheye: traces this sample's ray and returns the host's trace result, or true
// when the sample is blacked out without tracing.
CORVALA_EXPORT cvl::HostBoolean corvala(cvl::HostColor* result, cvl::HostState* state,
                                        const cvl::FisheyeParameters* params);
CORVALA_EXPORT int corvala_version(void);

// Latitude-longitude panorama of the whole surroundings; no parameters.
CORVALA_EXPORT cvl::HostBoolean environmentLense(cvl::HostColor* result, cvl::HostState* state);
CORVALA_EXPORT int environmentLense_version(void);
}
