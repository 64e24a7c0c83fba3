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

// Reads the shader's parameters for one call. A parameter is connected when the shader has a
// connection offset and the word that many bytes past the parameter is nonzero; its value is
// then the host's current one. A host that yields no value leaves the block's own in force.
class Parameters {
  public:
    Parameters(HostState* state, const FisheyeParameters* block)
        : state_(state),
          block_(reinterpret_cast<const unsigned char*>(block)),
          // The shader record does not change during a call: its offset is read once.
          connectionOffset_(state->shader != nullptr ? state->shader->connectionOffset : 0) {}

    float readFloat(FisheyeParameter index) const {
        float value;
        std::memcpy(&value, evaluate(index), sizeof value);
        return value;
    }

    bool readBoolean(FisheyeParameter index) const {
        HostBoolean value;
        std::memcpy(&value, evaluate(index), sizeof value);
        return value != 0;
    }

  private:
    const void* evaluate(FisheyeParameter index) const {
        const unsigned char* address = block_ + 4 * index;
        if (connectionOffset_ != 0) {
            std::int32_t connection;
            std::memcpy(&connection, address + connectionOffset_, sizeof connection);
            if (connection != 0) {
                if (const void* value = host::mi_phen_eval(state_, address)) {
                    return value;
                }
            }
        }
        return address;
    }

    HostState* state_;
    const unsigned char* block_;
    std::int32_t connectionOffset_;
};

}  // namespace
}  // namespace cvl

using namespace cvl;

HostBoolean corvala(HostColor* result, HostState* state, const FisheyeParameters* params) {
    const Parameters parameters(state, params);
    bool clip = parameters.readBoolean(clipCircle);
    const bool fadeToRim = parameters.readBoolean(fadeCircle);
    if (fadeToRim) {
        clip = true;  // a rim fade only makes sense with the outside blacked out
    }
    if (state->camera == nullptr) {
        return blackOut(result);
    }

    HostVector d;
    host::mi_vector_to_camera(state, &d, &state->rayDirection);
    const float radius = parameters.readFloat(circleRadius);
    const CirclePosition position = circlePositionFromCameraDirection(d, *state->camera, radius);
    if (position.r > 1.0f && clip) {
        return blackOut(result);
    }

    // The remaining parameters are evaluated in their fixed order first; the arithmetic
    // that uses them is then free to overlap with the sine and cosine.
    const bool fadeToFrame = parameters.readBoolean(fadeFrame);
    const float width = fadeToFrame || fadeToRim ? parameters.readFloat(fadeWidth) : 0.0f;
    const float fov = parameters.readFloat(fieldOfView);

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
