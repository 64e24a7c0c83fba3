// What the renderer's eye rays see: the built-in scene, or an equirectangular environment.
#pragma once

#include <string>
#include <vector>

#include "render/HostContext.h"
#include "render/Pixels.h"

namespace render {

// Camera position in the built-in scene: eye height above the ground.
constexpr HostVector sceneEye{0.0f, 1.6f, 0.0f};

// A procedural scene: sky with a sun, a ground grid to the horizon, a coloured marker in each
// of the six axis directions from the eye, and a few shaded spheres.
bool traceScene(const void* world, const HostVector& origin, const HostVector& direction,
                HostColor* color);

// Colours of the six axis markers, for tests and the README.
struct AxisMarkers {
    static constexpr HostColor front{0.9f, 0.1f, 0.1f, 1.0f};  // -z, red
    static constexpr HostColor back{0.9f, 0.8f, 0.1f, 1.0f};   // +z, yellow
    static constexpr HostColor right{0.1f, 0.8f, 0.2f, 1.0f};  // +x, green
    static constexpr HostColor left{0.8f, 0.2f, 0.8f, 1.0f};   // -x, magenta
    static constexpr HostColor up{0.1f, 0.8f, 0.9f, 1.0f};     // +y, cyan
    static constexpr HostColor down{1.0f, 0.5f, 0.0f, 1.0f};   // -y, orange disc on the ground
};

// A latitude-longitude image of the surroundings in linear light. Its centre looks forward
// (-z), its right half to the right (+x), its top edge straight up (+y).
struct Environment {
    int width = 0;
    int height = 0;
    // Either floats (high dynamic range images) or 8-bit sRGB codes with their linear values;
    // width * height * 3 of them, row by row from the top.
    std::vector<float> linear;
    Bytes encoded;
    float decode[256] = {};
};

// Bilinear lookup by direction, wrapping seamlessly across the 360-degree seam.
HostColor lookUp(const Environment& environment, const HostVector& direction);

bool traceEnvironment(const void* environment, const HostVector& origin,
                      const HostVector& direction, HostColor* color);

}  // namespace render
