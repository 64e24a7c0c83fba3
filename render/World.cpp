#include "render/World.h"

#include <cmath>

namespace render {
namespace {

constexpr float pi = 3.14159265358979f;

struct Vec {
    float x, y, z;
};
Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec operator*(Vec a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
float dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec normalized(Vec a) {
    const float length = std::sqrt(dot(a, a));
    return length > 0.0f ? a * (1.0f / length) : Vec{0.0f, 0.0f, -1.0f};
}
Vec vec(const HostVector& v) {
    return {v.x, v.y, v.z};
}
Vec vec(const HostColor& c) {
    return {c.r, c.g, c.b};
}
float clamp01(float v) {
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

struct Sphere {
    Vec centre;
    float radius;
    Vec albedo;
    bool emissive;  // markers glow in their own colour, so they read the same in any light
};

constexpr float markerDistance = 20.0f;
constexpr float markerRadius = 1.5f;

const Sphere spheres[] = {
    {{0.0f, sceneEye.y, -markerDistance}, markerRadius, vec(AxisMarkers::front), true},
    {{0.0f, sceneEye.y, markerDistance}, markerRadius, vec(AxisMarkers::back), true},
    {{markerDistance, sceneEye.y, 0.0f}, markerRadius, vec(AxisMarkers::right), true},
    {{-markerDistance, sceneEye.y, 0.0f}, markerRadius, vec(AxisMarkers::left), true},
    {{0.0f, sceneEye.y + markerDistance, 0.0f}, markerRadius, vec(AxisMarkers::up), true},
    {{-2.2f, 1.0f, -6.0f}, 1.0f, {0.85f, 0.85f, 0.85f}, false},
    {{2.4f, 0.7f, -4.5f}, 0.7f, {0.9f, 0.6f, 0.2f}, false},
    {{0.6f, 0.45f, -8.0f}, 0.45f, {0.2f, 0.4f, 0.9f}, false},
    {{-4.0f, 1.2f, 3.0f}, 1.2f, {0.3f, 0.75f, 0.35f}, false},
};

const Vec sunDirection = normalized({0.45f, 0.55f, -0.7f});
constexpr float downMarkerRadius = 0.4f;

// Distance along the ray to sphere s, or a negative number for a miss.
float hitSphere(const Sphere& s, Vec origin, Vec direction) {
    const Vec offset = origin - s.centre;
    const float b = dot(offset, direction);
    const float c = dot(offset, offset) - s.radius * s.radius;
    const float discriminant = b * b - c;
    if (discriminant < 0.0f) {
        return -1.0f;
    }
    const float root = std::sqrt(discriminant);
    const float near = -b - root;
    return near > 1e-4f ? near : -b + root;
}

bool inShadow(Vec point) {
    for (const Sphere& s : spheres) {
        if (!s.emissive && hitSphere(s, point, sunDirection) > 1e-4f) {
            return true;
        }
    }
    return false;
}

Vec sky(Vec direction) {
    const float height = clamp01(direction.y);
    const Vec horizon{0.78f, 0.86f, 0.98f};
    const Vec zenith{0.18f, 0.38f, 0.85f};
    Vec colour = horizon * (1.0f - height) + zenith * height;
    const float toSun = dot(direction, sunDirection);
    if (toSun > 0.9997f) {
        colour = {1.0f, 0.97f, 0.85f};  // the sun's disc
    } else if (toSun > 0.0f) {
        colour = colour + Vec{1.0f, 0.9f, 0.6f} * (0.35f * std::pow(toSun, 64.0f));
    }
    return colour;
}

Vec shade(Vec point, Vec normal, Vec albedo) {
    const float sunLight =
        inShadow(point + normal * 1e-3f) ? 0.0f : std::fmax(0.0f, dot(normal, sunDirection));
    const float skyLight = 0.35f + 0.15f * normal.y;
    return albedo * (0.9f * sunLight + skyLight);
}

Vec ground(Vec point, float distance, Vec direction) {
    const float dx = point.x - sceneEye.x;
    const float dz = point.z - sceneEye.z;
    Vec albedo{0.45f, 0.45f, 0.42f};
    if (dx * dx + dz * dz < downMarkerRadius * downMarkerRadius) {
        albedo = vec(AxisMarkers::down);
    } else {
        // Grid lines one unit apart, widening with distance so they do not shimmer.
        const float width = 0.02f + 0.002f * distance;
        const float fx = point.x - std::floor(point.x);
        const float fz = point.z - std::floor(point.z);
        if (fx < width || fz < width || fx > 1.0f - width || fz > 1.0f - width) {
            albedo = {0.15f, 0.15f, 0.17f};
        }
    }
    const Vec lit = shade(point, {0.0f, 1.0f, 0.0f}, albedo);
    // Haze toward the horizon, so the grid meets the sky smoothly.
    const float haze = 1.0f - std::exp(-distance * 0.012f);
    return lit * (1.0f - haze) + sky({direction.x, 0.0f, direction.z}) * haze;
}

}  // namespace

bool traceScene(const void*, const HostVector& rayOrigin, const HostVector& rayDirection,
                HostColor* color) {
    const Vec origin = vec(rayOrigin);
    const Vec direction = normalized(vec(rayDirection));
    float nearest = 1e30f;
    const Sphere* hit = nullptr;
    for (const Sphere& s : spheres) {
        const float t = hitSphere(s, origin, direction);
        if (t > 0.0f && t < nearest) {
            nearest = t;
            hit = &s;
        }
    }
    const float groundDistance = direction.y < 0.0f ? -origin.y / direction.y : -1.0f;
    Vec colour;
    if (groundDistance > 0.0f && groundDistance < nearest) {
        colour = ground(origin + direction * groundDistance, groundDistance, direction);
    } else if (hit != nullptr) {
        const Vec point = origin + direction * nearest;
        const Vec normal = normalized(point - hit->centre);
        colour = hit->emissive
                     ? hit->albedo * (0.75f + 0.25f * std::fmax(0.0f, -dot(normal, direction)))
                     : shade(point, normal, hit->albedo);
    } else {
        colour = sky(direction);
    }
    *color = {colour.x, colour.y, colour.z, 1.0f};
    return true;
}

HostColor lookUp(const Environment& environment, const HostVector& direction) {
    if (!std::isfinite(direction.x) || !std::isfinite(direction.y) || !std::isfinite(direction.z)) {
        return {0.0f, 0.0f, 0.0f, 0.0f};
    }
    const Vec d = normalized(vec(direction));
    const float longitude = std::atan2(d.x, -d.z);  // 0 forward, +pi/2 to the right
    const float latitude = std::asin(std::fmax(-1.0f, std::fmin(1.0f, d.y)));
    const float u = (0.5f + longitude / (2.0f * pi)) * float(environment.width) - 0.5f;
    const float v = (0.5f - latitude / pi) * float(environment.height) - 0.5f;

    const int w = environment.width;
    const int h = environment.height;
    const float u0 = std::floor(u);
    const float v0 = std::floor(v);
    const float fu = u - u0;
    const float fv = v - v0;
    const auto wrap = [w](int x) { return ((x % w) + w) % w; };
    const auto clampRow = [h](int y) { return y < 0 ? 0 : (y >= h ? h - 1 : y); };
    const int x0 = wrap(int(u0)), x1 = wrap(int(u0) + 1);
    const int y0 = clampRow(int(v0)), y1 = clampRow(int(v0) + 1);
    const size_t i00 = (size_t(y0) * w + x0) * 3, i01 = (size_t(y0) * w + x1) * 3;
    const size_t i10 = (size_t(y1) * w + x0) * 3, i11 = (size_t(y1) * w + x1) * 3;
    const bool floats = !environment.linear.empty();
    const auto at = [&](size_t index) {
        return floats ? environment.linear[index] : environment.decode[environment.encoded[index]];
    };
    float rgb[3];
    for (int c = 0; c < 3; ++c) {
        const float top = at(i00 + c) * (1.0f - fu) + at(i01 + c) * fu;
        const float bottom = at(i10 + c) * (1.0f - fu) + at(i11 + c) * fu;
        rgb[c] = top * (1.0f - fv) + bottom * fv;
    }
    return {rgb[0], rgb[1], rgb[2], 1.0f};
}

bool traceEnvironment(const void* environment, const HostVector&, const HostVector& direction,
                      HostColor* color) {
    *color = lookUp(*static_cast<const Environment*>(environment), direction);
    return true;
}

}  // namespace render
