// The rotation and the lens mappings as pure functions: properties and round trips.
#include <cmath>

#include "lenses/Projection.h"
#include "tests/Harness.h"

namespace {

using namespace cvl;
using harness::closeTo;

HostVector rotated(HostVector axis, HostVector v, float angle) {
    HostVector out;
    rotateAroundAxis(&axis, &v, &out, angle);
    return out;
}

double length(const HostVector& v) {
    return std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
}

TEST(Rotation, IsRightHanded) {
    const float beta = 0.6f, alpha = -1.1f;
    const HostVector tilted = rotated({1, 0, 0}, {0, 0, -1}, beta);
    EXPECT_TRUE(closeTo(tilted, {0, std::sin(beta), -std::cos(beta)}, 1e-7));
    EXPECT_TRUE(closeTo(
        rotated({0, 1, 0}, tilted, alpha),
        {-std::cos(beta) * std::sin(alpha), std::sin(beta), -std::cos(beta) * std::cos(alpha)},
        1e-7));
}

TEST(Rotation, Properties) {
    const HostVector v{0.3f, -0.7f, 0.2f};
    const HostVector axes[] = {{0.2f, 0.9f, -0.4f}, {1, 0, 0}, {-3, 5, 0.5f}};
    for (const HostVector& axis : axes) {
        for (float angle : {0.0f, 0.4f, -2.5f, 3.1415927f, 7.0f}) {
            const HostVector out = rotated(axis, v, angle);
            EXPECT_NEAR(length(out), length(v), 1e-6);
            // Any positive length of the axis gives the result of its unit vector.
            for (float scale : {1e-3f, 0.5f, 3.0f, 1e4f}) {
                const HostVector scaled{axis.x * scale, axis.y * scale, axis.z * scale};
                EXPECT_TRUE(closeTo(rotated(scaled, v, angle), out, 1e-6));
            }
        }
        const HostVector unturned = rotated(axis, v, 0.0f);
        EXPECT_EQ(unturned.x, v.x);
        EXPECT_EQ(unturned.y, v.y);
        EXPECT_EQ(unturned.z, v.z);
    }
    // A zero axis leaves only the cosine term.
    const float angle = 0.8f;
    const float cosA = float(std::cos(double(angle)));
    const HostVector scaled = rotated({0, 0, 0}, v, angle);
    EXPECT_EQ(scaled.x, cosA * v.x);
    EXPECT_EQ(scaled.y, cosA * v.y);
    EXPECT_EQ(scaled.z, cosA * v.z);
}

TEST(Rotation, OutMayBeTheInputOrTheAxis) {
    const HostVector axis{0.1f, 0.8f, 0.3f};
    const HostVector v{0.5f, 0.5f, -0.7f};
    const HostVector expected = rotated(axis, v, 1.3f);
    HostVector inPlace = v;
    rotateAroundAxis(&axis, &inPlace, &inPlace, 1.3f);
    HostVector overAxis = axis;
    rotateAroundAxis(&overAxis, &v, &overAxis, 1.3f);
    for (const HostVector& out : {inPlace, overAxis}) {
        EXPECT_EQ(out.x, expected.x);
        EXPECT_EQ(out.y, expected.y);
        EXPECT_EQ(out.z, expected.z);
    }
}

TEST(Projection, FisheyeRoundTrip) {
    for (float fov : {90.0f, 180.0f, 250.0f}) {
        for (float x = -0.95f; x < 1.0f; x += 0.1f) {
            for (float y = -0.95f; y < 1.0f; y += 0.15f) {
                const float r = std::sqrt(x * x + y * y);
                const HostVector d = fisheyeDirectionFromCirclePosition({x, y, r}, fov);
                EXPECT_NEAR(length(d), 1.0, 2e-7);
                const CirclePosition back = circlePositionFromFisheyeDirection(d, fov);
                EXPECT_NEAR(back.x, x, 2e-5) << fov << " " << x << " " << y;
                EXPECT_NEAR(back.y, y, 2e-5) << fov << " " << x << " " << y;
            }
        }
    }
}

TEST(Projection, PanoramaRoundTrip) {
    for (float longitude = -3.1f; longitude < 3.14f; longitude += 0.2f) {
        for (float latitude = -1.5f; latitude < 1.55f; latitude += 0.1f) {
            const HostVector d = panoramaDirectionFromAngles({longitude, latitude});
            EXPECT_NEAR(length(d), 1.0, 2e-7);
            const PanoramaAngles back = panoramaAnglesFromDirection(d);
            EXPECT_NEAR(back.longitude, longitude, 2e-5);
            EXPECT_NEAR(back.latitude, latitude, 2e-5);
        }
    }
}

TEST(Projection, EdgeWeightsStayInUnitRange) {
    for (float width : {0.0f, 1e-30f, 0.25f, 1.0f}) {
        for (float distance : {-5.0f, -1e-20f, 0.0f, 0.1f, 0.3f, 2.0f}) {
            const float w = edgeFadeWeight(distance, width);
            EXPECT_TRUE(w >= 0.0f && w <= 1.0f) << distance << " " << width;
        }
    }
}

}  // namespace
