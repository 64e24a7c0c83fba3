// The fisheye as a host sees it: directions against the closed form, fades, clipping, the
// host's trace result, and degenerate input.
#include <cmath>
#include <limits>

#include "tests/Harness.h"

namespace {

using namespace harness;
using testhost::Call;

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

struct Outcome {
    HostBoolean result;
    HostColor color;
    bool traced;
    HostVector cameraDirection;  // the traced direction, back in camera space
    HostVector origin;
    bool convertedInPlace;
};

class FisheyeTest : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        module = &bind();
    }

    Outcome run(Sample& sample, const FisheyeParameters& params) {
        module->reset();
        testhost::Log& log = *module->log();
        log.traceResult = 7;  // any nonzero value must come back unchanged
        Outcome outcome{};
        outcome.result = library.fisheye(&sample.color, &sample.state, &params);
        outcome.color = sample.color;
        for (int i = 0; i < log.callCount; ++i) {
            const testhost::CallRecord& call = log.calls[i];
            if (call.call == Call::traceEye) {
                outcome.traced = true;
                outcome.cameraDirection = testhost::internalToCamera(call.in);
                outcome.origin = call.origin;
            } else if (call.call == Call::vectorFromCamera) {
                outcome.convertedInPlace = call.outAliasesIn;
            }
        }
        return outcome;
    }

    TestHostModule* module = nullptr;
};

void expectBlackedOut(const Outcome& outcome) {
    EXPECT_FALSE(outcome.traced);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.color.r, 0.0f);
    EXPECT_EQ(outcome.color.g, 0.0f);
    EXPECT_EQ(outcome.color.b, 0.0f);
    EXPECT_EQ(outcome.color.a, 0.0f);
}

void expectTracedWithWeight(const Outcome& outcome, float weight) {
    ASSERT_TRUE(outcome.traced);
    EXPECT_EQ(outcome.result, 7);
    EXPECT_NEAR(outcome.color.r, testhost::standardColor.r * weight, 1e-6);
    EXPECT_NEAR(outcome.color.g, testhost::standardColor.g * weight, 1e-6);
    EXPECT_NEAR(outcome.color.b, testhost::standardColor.b * weight, 1e-6);
    EXPECT_NEAR(outcome.color.a, testhost::standardColor.a * weight, 1e-6);
}

TEST_F(FisheyeTest, DirectionsFollowTheEquidistantProjection) {
    struct Lens {
        float fieldOfView, circleRadius, aspect;
    };
    const Lens lenses[] = {
        {180.0f, 1.0f, 1.0f}, {220.0f, 0.8f, 1.5f}, {90.0f, 1.2f, 0.75f}, {360.0f, 0.5f, 2.0f}};
    for (const Lens& lens : lenses) {
        const FisheyeParameters params{lens.fieldOfView, lens.circleRadius, 0, 0, 0, 0.0f};
        for (int i = 0; i <= 8; ++i) {
            for (int j = 0; j <= 8; ++j) {
                const float px = -1.0f + 0.25f * float(i);
                const float py = -1.0f + 0.25f * float(j);
                SCOPED_TRACE(testing::Message() << "fov " << lens.fieldOfView << " radius "
                                                << lens.circleRadius << " at " << px << ", " << py);
                Sample sample(lens.aspect);
                // The pinhole direction's length does not matter.
                const float length = (i + j) % 2 == 0 ? 1.0f : 0.37f;
                sample.aimCameraSpace({px * length, py / lens.aspect * length, -length});
                const Outcome outcome = run(sample, params);

                expectTracedWithWeight(outcome, 1.0f);
                const float x = px / lens.circleRadius;
                const float y = py / lens.aspect / lens.circleRadius;
                EXPECT_TRUE(closeTo(outcome.cameraDirection,
                                    fisheyeClosedForm(x, y, lens.fieldOfView), 2e-6));
                EXPECT_EQ(outcome.origin.x, sample.state.rayOrigin.x);
                EXPECT_EQ(outcome.origin.y, sample.state.rayOrigin.y);
                EXPECT_EQ(outcome.origin.z, sample.state.rayOrigin.z);
                EXPECT_TRUE(outcome.convertedInPlace);
            }
        }
    }
}

TEST_F(FisheyeTest, OutsideTheCircleUnclippedLooksBeyondHalfTheFieldOfView) {
    Sample sample;
    sample.aim(1.2f, 0.0f);
    const Outcome outcome = run(sample, {180.0f, 1.0f, 0, 0, 0, 0.0f});
    const double phi = 108.0 * pi / 180.0;
    expectTracedWithWeight(outcome, 1.0f);
    EXPECT_TRUE(closeTo(outcome.cameraDirection,
                        {float(std::sin(phi)), 0.0f, float(-std::cos(phi))}, 2e-6));
    EXPECT_GT(outcome.cameraDirection.z, 0.3f);
}

struct WeightCase {
    const char* name;
    FisheyeParameters params;
    float aspect, px, py;
    bool traced;
    float weight;
};

TEST_F(FisheyeTest, FadesClipAndWeights) {
    // Parameters: fieldOfView, circleRadius, clipCircle, fadeCircle, fadeFrame, fadeWidth.
    const WeightCase cases[] = {
        {"centre, both fades", {180, 1, 0, 1, 1, 0.2f}, 1, 0, 0, true, 1},
        {"rim fade", {180, 1, 0, 1, 0, 0.5f}, 1, 0.75f, 0, true, 0.5f},
        {"on the rim: traced, weight 0", {180, 1, 0, 1, 0, 0.5f}, 1, 1, 0, true, 0},
        {"zero width fades nothing", {180, 1, 0, 1, 1, 0}, 1, 0.99f, 0, true, 1},
        {"frame fade, side", {180, 1, 0, 0, 1, 0.5f}, 1, 0.9f, 0, true, 0.2f},
        {"frame fade, top, wide frame", {180, 1, 0, 0, 1, 0.5f}, 2, 0, 0.8f, true, 0.4f},
        {"both fades multiply", {180, 1, 0, 1, 1, 0.5f}, 1, 0.8f, 0, true, 0.16f},
        {"frame fade in half-width units", {180, 0.5f, 0, 0, 1, 0.5f}, 1, 0.9f, 0, true, 0.2f},
        {"beyond the side edge", {180, 1, 0, 0, 1, 0.5f}, 1, 1.2f, 0, true, 0},
        {"beyond the bottom edge", {180, 1, 0, 0, 1, 0.25f}, 1, 0, -1.5f, true, 0},
        {"beyond an edge, zero width", {180, 1, 0, 0, 1, 0}, 1, 1.2f, 0.3f, true, 1},
        {"clip, inside", {180, 1, 1, 0, 0, 0}, 1, 0.5f, 0, true, 1},
        {"clip, outside", {180, 1, 1, 0, 0, 0}, 1, 1.1f, 0, false, 0},
        {"rim fade blacks out the outside", {180, 1, 0, 1, 0, 0.1f}, 1, 0.8f, 0.7f, false, 0},
        {"circle touches the side edges", {180, 1, 1, 0, 0, 0}, 1.5f, 0.999f, 0, true, 1},
        {"and is cut at the top", {180, 1, 1, 0, 0, 0}, 1.5f, 0, 1, true, 1},
    };
    for (const WeightCase& c : cases) {
        SCOPED_TRACE(c.name);
        Sample sample(c.aspect);
        sample.aim(c.px, c.py);
        const Outcome outcome = run(sample, c.params);
        if (c.traced) {
            expectTracedWithWeight(outcome, c.weight);
        } else {
            expectBlackedOut(outcome);
        }
    }
}

struct DegenerateCase {
    const char* name;
    FisheyeParameters params;
    HostVector direction;  // camera space
    float focal, aperture, aspect;
    bool traced;
};

TEST_F(FisheyeTest, DegenerateInputNeverReachesTheHostAsARay) {
    const FisheyeParameters fades{180, 1, 0, 1, 1, 0.2f};
    const FisheyeParameters open{180, 1, 0, 0, 0, 0};
    const HostVector ahead{0.3f, 0.2f, -1};
    const DegenerateCase cases[] = {
        {"zero radius", {180, 0, 0, 0, 0, 0}, ahead, 1, 2, 1, false},
        {"zero radius, clipped", {180, 0, 1, 0, 0, 0}, ahead, 1, 2, 1, false},
        {"zero radius, centre", {180, 0, 0, 0, 0, 0}, {0, 0, -1}, 1, 2, 1, false},
        {"NaN radius", {180, nan, 1, 1, 1, 0.1f}, ahead, 1, 2, 1, false},
        {"infinite radius", {180, inf, 0, 0, 0, 0}, ahead, 1, 2, 1, true},
        {"direction in the image plane", open, {0.5f, 0, 0}, 1, 2, 1, false},
        {"zero direction", fades, {0, 0, 0}, 1, 2, 1, false},
        {"NaN direction", open, {nan, 0, -1}, 1, 2, 1, false},
        {"NaN field of view", {nan, 1, 0, 0, 0, 0}, ahead, 1, 2, 1, false},
        {"infinite field of view", {inf, 1, 0, 0, 0, 0}, ahead, 1, 2, 1, false},
        {"infinite field of view, centre", {inf, 1, 0, 0, 0, 0}, {0, 0, -1}, 1, 2, 1, false},
        {"huge field of view", {3e38f, 1, 0, 0, 0, 0}, ahead, 1, 2, 1, true},
        {"zero field of view", {0, 1, 0, 0, 0, 0}, ahead, 1, 2, 1, true},
        {"negative field of view", {-90, 1, 0, 0, 0, 0}, ahead, 1, 2, 1, true},
        {"field of view over 360", {400, 1, 0, 0, 0, 0}, ahead, 1, 2, 1, true},
        {"NaN focal length", open, ahead, nan, 2, 1, false},
        {"zero aperture", open, ahead, 1, 0, 1, false},
        {"zero focal length", open, ahead, 0, 2, 1, true},
        {"NaN aperture", open, ahead, 1, nan, 1, false},
        {"NaN aspect, frame fade", fades, ahead, 1, 2, nan, true},
        {"zero aspect, frame fade", fades, ahead, 1, 2, 0, true},
        {"zero fade width", {180, 1, 0, 1, 1, 0}, ahead, 1, 2, 1, true},
        {"NaN fade width", {180, 1, 0, 1, 1, nan}, ahead, 1, 2, 1, true},
        {"infinite fade width", {180, 1, 0, 1, 1, inf}, ahead, 1, 2, 1, true},
        {"negative fade width", {180, 1, 0, 1, 1, -0.5f}, ahead, 1, 2, 1, true},
        {"negative radius", {180, -1, 0, 0, 0, 0}, ahead, 1, 2, 1, true},
        {"looking backwards", open, {0.3f, 0.2f, 1}, 1, 2, 1, true},
        {"tiny position", open, {1e-30f, -1e-30f, -1}, 1, 2, 1, true},
    };
    for (const DegenerateCase& c : cases) {
        SCOPED_TRACE(c.name);
        Sample sample(c.aspect);
        sample.camera.focalLength = c.focal;
        sample.camera.aperture = c.aperture;
        sample.aimCameraSpace(c.direction);
        const Outcome outcome = run(sample, c.params);
        if (!c.traced) {
            expectBlackedOut(outcome);
            continue;
        }
        ASSERT_TRUE(outcome.traced);
        const HostVector& d = outcome.cameraDirection;
        EXPECT_TRUE(std::isfinite(d.x) && std::isfinite(d.y) && std::isfinite(d.z));
        EXPECT_NEAR(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z), 1.0, 1e-6);
        const float weight = outcome.color.a;
        EXPECT_TRUE(weight >= 0.0f && weight <= 1.0f) << weight;
    }
}

}  // namespace
