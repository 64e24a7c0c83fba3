// The host renderer's records as the lens shaders see them. The host lays them out; only the
// fields the shaders read are named, everything else is opaque padding. The offsets are the
// host's and hold for 32-bit and 64-bit pointers alike.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cvl {

// Booleans crossing the boundary are 32-bit integers: 0 false, anything else true.
using HostBoolean = std::int32_t;

struct HostVector {
    float x, y, z;
};

struct HostColor {
    float r, g, b, a;
};

struct HostCamera {
    std::uint8_t reserved0[4];
    float focalLength;  // in the units of the aperture
    float aperture;     // width of the image plane
    float aspectRatio;  // image width over height
};

struct HostShader {
    std::uint8_t reserved0[96];
    // Byte distance from a parameter to the word that says whether it is connected; 0 means
    // this shader has no connected parameters.
    std::int32_t connectionOffset;
};

struct HostState {
    std::uint8_t reserved0[8];
    HostCamera* camera;
    std::uint8_t reserved1[68 - 8 - sizeof(HostCamera*)];
    HostVector rayOrigin;     // internal space
    HostVector rayDirection;  // internal space, the pinhole direction of this sample
    std::uint8_t reserved2[256 - 92];
    HostShader* shader;  // the shader being run
};

static_assert(sizeof(HostVector) == 12, "HostVector is three packed floats");
static_assert(offsetof(HostVector, x) == 0 && offsetof(HostVector, y) == 4 &&
                  offsetof(HostVector, z) == 8,
              "HostVector layout");
static_assert(sizeof(HostColor) == 16, "HostColor is four packed floats");
static_assert(offsetof(HostColor, r) == 0 && offsetof(HostColor, g) == 4 &&
                  offsetof(HostColor, b) == 8 && offsetof(HostColor, a) == 12,
              "HostColor layout");
static_assert(offsetof(HostCamera, focalLength) == 4, "HostCamera focal length");
static_assert(offsetof(HostCamera, aperture) == 8, "HostCamera aperture");
static_assert(offsetof(HostCamera, aspectRatio) == 12, "HostCamera aspect ratio");
static_assert(offsetof(HostShader, connectionOffset) == 96, "HostShader connection offset");
static_assert(offsetof(HostState, camera) == 8, "HostState camera");
static_assert(offsetof(HostState, rayOrigin) == 68, "HostState ray origin");
static_assert(offsetof(HostState, rayDirection) == 80, "HostState ray direction");
static_assert(offsetof(HostState, shader) == 256, "HostState shader");
static_assert(sizeof(HostState) == 256 + sizeof(void*), "HostState ends with the shader pointer");

}  // namespace cvl
