#include "host/Binding.h"
#include "lenses/Projection.h"
#include "lenses/Shaders.h"

using namespace cvl;

HostBoolean environmentLense(HostColor* result, HostState* state) {
    if (state->camera == nullptr) {
        return blackOut(result);
    }
    HostVector d;
    host::mi_vector_to_camera(state, &d, &state->rayDirection);
    d = panoramaDirectionFromAngles(panoramaAnglesFromCameraDirection(d, *state->camera));
    // A direction in the image plane or a non-finite camera gives no usable ray.
    if (!isFinite(d)) {
        return blackOut(result);
    }
    host::mi_vector_from_camera(state, &d, &d);
    return host::mi_trace_eye(result, state, &state->rayOrigin, &d);
}

int environmentLense_version(void) {
    return 1;
}
