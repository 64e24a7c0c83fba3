// Feeds both lenses arbitrary parameter blocks, connection words and offsets, camera records
// and ray directions, through a host that checks every call it receives. Whatever the input:
// the traced direction is finite and of unit length, a connected parameter's address is one of
// the block's own, the colour written is finite, and the weight lies in [0, 1].
#include <dlfcn.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/Binding.h"
#include "lenses/Shaders.h"

using namespace cvl;

namespace {

constexpr int bufferWords = 64;
constexpr int blockWord = 16;  // the parameter block's place in the buffer

struct Case {
    std::uint32_t buffer[bufferWords];
    std::uint32_t connectedValues[6];
    bool served[6];
    bool rotate;
};

Case* current = nullptr;
const HostState* currentState = nullptr;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "host check failed: %s\n", what);
    std::abort();
}

HostVector turned(const HostVector& v, bool inverse) {
    // A quarter turn about x, so camera and internal space differ.
    return inverse ? HostVector{v.x, v.z, -v.y} : HostVector{v.x, -v.z, v.y};
}

bool finite(const HostVector& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) HostBoolean mi_trace_eye(
    HostColor* result, HostState* state, const HostVector* origin, const HostVector* direction) {
    if (state != currentState || origin != &currentState->rayOrigin) {
        fail("trace with another state or origin");
    }
    if (!finite(*direction)) {
        fail("direction not finite");
    }
    const double length =
        std::sqrt(double(direction->x) * direction->x + double(direction->y) * direction->y +
                  double(direction->z) * direction->z);
    if (std::fabs(length - 1.0) > 1e-5) {
        fail("direction not of unit length");
    }
    *result = HostColor{0.25f, 0.5f, 0.75f, 1.0f};
    return 1;
}

extern "C" __attribute__((visibility("default"))) void* mi_phen_eval(HostState* state,
                                                                     const void* parameter) {
    if (state != currentState) {
        fail("phen_eval with another state");
    }
    const auto* word = static_cast<const std::uint32_t*>(parameter);
    const std::ptrdiff_t index = word - (current->buffer + blockWord);
    if (index < 0 || index >= 6 || parameter != current->buffer + blockWord + index) {
        fail("phen_eval of an address outside the block");
    }
    return current->served[index] ? &current->connectedValues[index] : nullptr;
}

extern "C" __attribute__((visibility("default"))) void mi_vector_to_camera(HostState* state,
                                                                           HostVector* out,
                                                                           const HostVector* in) {
    if (state != currentState || in != &currentState->rayDirection) {
        fail("to_camera of something other than the ray direction");
    }
    *out = current->rotate ? turned(*in, true) : *in;
}

extern "C" __attribute__((visibility("default"))) void mi_vector_from_camera(HostState* state,
                                                                             HostVector* out,
                                                                             const HostVector* in) {
    if (state != currentState || out != in) {
        fail("from_camera not in place");
    }
    *out = current->rotate ? turned(*in, false) : *in;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The host functions are this program's own exports.
    miSetModuleHandle(dlopen(nullptr, RTLD_NOW));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    Case c{};
    for (std::uint32_t& word : c.buffer) {
        word = input.ConsumeIntegral<std::uint32_t>();
    }
    for (int i = 0; i < 6; ++i) {
        c.connectedValues[i] = input.ConsumeIntegral<std::uint32_t>();
        c.served[i] = input.ConsumeBool();
    }
    c.rotate = input.ConsumeBool();
    const bool panorama = input.ConsumeBool();

    HostCamera camera{};
    camera.focalLength = input.ConsumeFloatingPoint<float>();
    camera.aperture = input.ConsumeFloatingPoint<float>();
    camera.aspectRatio = input.ConsumeFloatingPoint<float>();
    HostShader shader{};
    // Any byte offset that keeps every connection word inside the buffer.
    shader.connectionOffset = input.ConsumeIntegralInRange<std::int32_t>(
        -4 * blockWord, 4 * (bufferWords - blockWord - 6));
    HostState state{};
    state.camera = &camera;
    state.shader = &shader;
    state.rayOrigin = {input.ConsumeFloatingPoint<float>(), 0.0f, 0.0f};
    state.rayDirection = {input.ConsumeFloatingPoint<float>(), input.ConsumeFloatingPoint<float>(),
                          input.ConsumeFloatingPoint<float>()};

    current = &c;
    currentState = &state;
    HostColor color{-1.0f, -1.0f, -1.0f, -1.0f};
    const auto* params = reinterpret_cast<const FisheyeParameters*>(c.buffer + blockWord);
    const HostBoolean result =
        panorama ? environmentLense(&color, &state) : corvala(&color, &state, params);
    if (result != 1) {
        fail("the host's trace result was not passed on");
    }
    if (!std::isfinite(color.r) || !std::isfinite(color.g) || !std::isfinite(color.b) ||
        !std::isfinite(color.a)) {
        fail("colour not finite");
    }
    if (!(color.a >= 0.0f && color.a <= 1.0f)) {
        fail("weight outside [0, 1]");
    }
    if (color.r != 0.25f * color.a || color.b != 0.75f * color.a) {
        fail("colour not scaled by the weight");
    }
    return 0;
}
