// The lens mappings as small pure functions: from a sample's pinhole direction to its position
// on the image, and from that position to the lens's ray direction, each with its inverse
// beside it. All quantities are 32-bit floats, evaluated in the order the shaders rely on.
#pragma once

#include <cmath>

#include "host/HostRecords.h"
#include "lenses/Rotation.h"

namespace cvl {

// 360/pi rounded to float: a field of view in degrees divided by it is half that angle in radians.
constexpr float degreesToHalfAngle = 114.59156f;
constexpr float pi = 3.1415927f;

inline bool isFinite(const HostVector& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Scale that takes a camera-space direction's x and y to the image plane, in units of half the
// image width (so -1..1 across the width).
inline float imagePlaneScale(const HostVector& d, const HostCamera& camera) {
    return (camera.focalLength / -d.z) / (camera.aperture * 0.5f);
}

// --- Equidistant fisheye ---------------------------------------------------------------------

// A position in units of the image circle's radius: the circle is x^2 + y^2 = 1, r the distance
// from its centre.
struct CirclePosition {
    float x, y, r;
};

inline CirclePosition circlePositionFromCameraDirection(const HostVector& d,
                                                        const HostCamera& camera,
                                                        float circleRadius) {
    const float f = imagePlaneScale(d, camera) / circleRadius;
    const float x = d.x * f;
    const float y = d.y * f;
    return {x, y, static_cast<float>(std::sqrt(static_cast<double>(x * x + y * y)))};
}

// The ray leaves the view axis at r times half the field of view, toward the position's side:
// (x/r sin phi, y/r sin phi, -cos phi) with phi = r * fieldOfView / 2; the centre looks along -z.
inline HostVector fisheyeDirectionFromCirclePosition(const CirclePosition& p, float fieldOfView) {
    const float angle = (fieldOfView / degreesToHalfAngle) * -p.r;
    const HostVector axis{-p.y, p.x, 0.0f};
    const HostVector forward{0.0f, 0.0f, -1.0f};
    HostVector d;
    rotateAroundAxis(&axis, &forward, &d, angle);
    return d;
}

// Inverse of fisheyeDirectionFromCirclePosition for a unit direction.
inline CirclePosition circlePositionFromFisheyeDirection(const HostVector& d, float fieldOfView) {
    const double phi = std::acos(std::fmax(-1.0, std::fmin(1.0, -static_cast<double>(d.z))));
    const double r = phi / (static_cast<double>(fieldOfView) / degreesToHalfAngle);
    const double sideways = std::hypot(static_cast<double>(d.x), static_cast<double>(d.y));
    if (sideways == 0.0) {
        return {0.0f, 0.0f, static_cast<float>(r)};
    }
    return {static_cast<float>(r * d.x / sideways), static_cast<float>(r * d.y / sideways),
            static_cast<float>(r)};
}

// Weight of the fade toward the circle's rim: falls linearly from 1 at distance width inside
// the rim to 0 on it.
inline float circleFadeWeight(float r, float width) {
    const float distanceToRim = 1.0f - r;
    return distanceToRim < width ? distanceToRim / width : 1.0f;
}

// Weight of the fade toward one frame edge, at the given distance from it. A sample beyond the
// edge counts as lying on it, so the weight stays in [0, 1] and a zero width never divides.
inline float edgeFadeWeight(float distanceToEdge, float width) {
    const float distance = distanceToEdge < 0.0f ? 0.0f : distanceToEdge;
    return distance < width ? distance / width : 1.0f;
}

// Distance to the nearer top or bottom edge, in units of half the image height.
inline float distanceToHorizontalEdge(const CirclePosition& p, float circleRadius,
                                      float aspectRatio) {
    const float a = (aspectRatio * p.y) * circleRadius;
    return a < 0.0f ? a + 1.0f : 1.0f - a;
}

// Distance to the nearer left or right edge, in units of half the image width.
inline float distanceToVerticalEdge(const CirclePosition& p, float circleRadius) {
    return p.x < 0.0f ? circleRadius * p.x + 1.0f : 1.0f - circleRadius * p.x;
}

// --- Latitude-longitude panorama -------------------------------------------------------------

struct PanoramaAngles {
    float longitude;  // positive turns toward camera-space -x
    float latitude;   // positive looks up, toward +y
};

// 360 degrees of longitude across the width, latitude at the same angular scale, so an image
// twice as wide as high spans 180 degrees from bottom to top.
inline PanoramaAngles panoramaAnglesFromCameraDirection(const HostVector& d,
                                                        const HostCamera& camera) {
    const float a = imagePlaneScale(d, camera) * pi;
    return {d.x * a, 0.5f * ((a * d.y) * camera.aspectRatio)};
}

// (-cos lat sin lon, sin lat, -cos lat cos lon): tilt the forward vector up, then turn it about
// the vertical.
inline HostVector panoramaDirectionFromAngles(const PanoramaAngles& angles) {
    const HostVector horizontalAxis{1.0f, 0.0f, 0.0f};
    const HostVector verticalAxis{0.0f, 1.0f, 0.0f};
    const HostVector forward{0.0f, 0.0f, -1.0f};
    HostVector tilted;
    rotateAroundAxis(&horizontalAxis, &forward, &tilted, angles.latitude);
    HostVector d;
    rotateAroundAxis(&verticalAxis, &tilted, &d, angles.longitude);
    return d;
}

// Inverse of panoramaDirectionFromAngles for a unit direction: longitude in (-pi, pi].
inline PanoramaAngles panoramaAnglesFromDirection(const HostVector& d) {
    const double y = std::fmax(-1.0, std::fmin(1.0, static_cast<double>(d.y)));
    return {static_cast<float>(std::atan2(-static_cast<double>(d.x), -static_cast<double>(d.z))),
            static_cast<float>(std::asin(y))};
}

}  // namespace cvl
