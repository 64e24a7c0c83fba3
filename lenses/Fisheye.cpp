#include <cstdint>
#include <cstring>

#include "host/Binding.h"
#include "lenses/Projection.h"
#include "lenses/Shaders.h"

namespace cvl {
namespace {

enum FisheyeParameter : int {
    fieldOfView = 0,
    circleRadius = 1,
    clipCircle = 2,
    fadeCircle = 3,
    fadeFrame = 4,
    fadeWidth = 5,
};

// Address to read parameter index from: the host's current value when the parameter is
// connected (its connection word, connectionOffset bytes further on, is nonzero), else its
// place in the block. A host that yields no value leaves the block's own value in force.
const void* evaluateParameter(HostState* state, const FisheyeParameters* params, int index) {
    const auto* address = reinterpret_cast<const unsigned char*>(params) + 4 * index;
    const std::int32_t offset = state->shader != nullptr ? state->shader->connectionOffset : 0;
    if (offset != 0) {
        std::int32_t connection;
        std::memcpy(&connection, address + offset, sizeof connection);
        if (connection != 0) {
            if (const void* value = host::mi_phen_eval(state, address)) {
                return value;
            }
        }
    }
    return address;
}

float readFloat(const void* address) {
    float value;
    std::memcpy(&value, address, sizeof value);
    return value;
}

bool readBoolean(const void* address) {
    HostBoolean value;
    std::memcpy(&value, address, sizeof value);
    return value != 0;
}

}  // namespace
}  // namespace cvl

using namespace cvl;

HostBoolean corvala(HostColor* result, HostState* state, const FisheyeParameters* params) {
    bool clip = readBoolean(evaluateParameter(state, params, clipCircle));
    const bool fadeToRim = readBoolean(evaluateParameter(state, params, fadeCircle));
    if (fadeToRim) {
        clip = true;  // a rim fade only makes sense with the outside blacked out
    }
    if (state->camera == nullptr) {
        return blackOut(result);
    }

    HostVector d;
    host::mi_vector_to_camera(state, &d, &state->rayDirection);
    const float radius = readFloat(evaluateParameter(state, params, circleRadius));
    const CirclePosition position = circlePositionFromCameraDirection(d, *state->camera, radius);
    if (position.r > 1.0f && clip) {
        return blackOut(result);
    }

    // The remaining parameters are evaluated in their fixed order first; the arithmetic
    // that uses them is then free to overlap with the sine and cosine.
    const bool fadeToFrame = readBoolean(evaluateParameter(state, params, fadeFrame));
    const float width =
        fadeToFrame || fadeToRim ? readFloat(evaluateParameter(state, params, fadeWidth)) : 0.0f;
    const float fov = readFloat(evaluateParameter(state, params, fieldOfView));

    d = fisheyeDirectionFromCirclePosition(position, fov);
    // Degenerate input (a zero or non-finite circle, a direction in the image plane, a
    // non-finite field of view or camera) must never reach the host as a ray.
    if (!isFinite(d)) {
        return blackOut(result);
    }

    float weight = 1.0f;
    if (fadeToRim) {
        weight = circleFadeWeight(position.r, width);
    }
    if (fadeToFrame) {
        const float aspect = state->camera->aspectRatio;
        weight = edgeFadeWeight(distanceToHorizontalEdge(position, radius, aspect), width) * weight;
        weight = edgeFadeWeight(distanceToVerticalEdge(position, radius), width) * weight;
    }

    host::mi_vector_from_camera(state, &d, &d);
    const HostBoolean traced = host::mi_trace_eye(result, state, &state->rayOrigin, &d);
    result->r *= weight;
    result->g *= weight;
    result->b *= weight;
    result->a *= weight;
    return traced;
}

int corvala_version(void) {
    return 1;
}
