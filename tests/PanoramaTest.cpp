// The panorama as a host sees it: directions against the closed form, the named directions of
// its frame, and degenerate input.
#include <cmath>
#include <limits>

#include "tests/Harness.h"

namespace {

using namespace harness;
using testhost::Call;

constexpr float nan = std::numeric_limits<float>::quiet_NaN();

class PanoramaTest : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        module = &bind();
    }

    // Runs the panorama; returns the traced direction in camera space, or null when no ray
    // was traced.
    const testhost::CallRecord* run(Sample& sample, HostBoolean* result) {
        module->reset();
        module->log()->traceResult = -3;
        *result = library.panorama(&sample.color, &sample.state);
        const testhost::Log& log = *module->log();
        for (int i = 0; i < log.callCount; ++i) {
            if (log.calls[i].call == Call::traceEye) {
                return &log.calls[i];
            }
        }
        return nullptr;
    }

    TestHostModule* module = nullptr;
};

TEST_F(PanoramaTest, DirectionsFollowLongitudeAndLatitude) {
    for (float aspect : {2.0f, 1.0f, 0.5f}) {
        for (int i = 0; i <= 8; ++i) {
            for (int j = 0; j <= 8; ++j) {
                const float px = -1.0f + 0.25f * float(i);
                const float py = -1.0f + 0.25f * float(j);
                SCOPED_TRACE(testing::Message()
                             << "aspect " << aspect << " at " << px << ", " << py);
                Sample sample(aspect);
                sample.aim(px, py);
                HostBoolean result;
                const testhost::CallRecord* trace = run(sample, &result);
                ASSERT_NE(trace, nullptr);
                EXPECT_EQ(result, -3);
                // Latitude runs at the same angular scale as longitude: pi/2 at the top edge
                // when the image is twice as wide as high.
                const double latitude = pi / 2 * py;
                EXPECT_TRUE(closeTo(testhost::internalToCamera(trace->in),
                                    panoramaClosedForm(pi * px, latitude), 2e-6));
                EXPECT_EQ(trace->origin.z, sample.state.rayOrigin.z);
                EXPECT_EQ(sample.color.b, testhost::standardColor.b) << "colour is not scaled";
            }
        }
    }
}

TEST_F(PanoramaTest, TheFrameLooksAllAround) {
    struct Point {
        const char* name;
        float px, py;
        HostVector expected;
    };
    const Point points[] = {
        {"centre", 0, 0, {0, 0, -1}},       {"right edge", 1, 0, {0, 0, 1}},
        {"left edge", -1, 0, {0, 0, 1}},    {"top edge", 0, 1, {0, 1, 0}},
        {"bottom edge", 0, -1, {0, -1, 0}}, {"half right", 0.5f, 0, {-1, 0, 0}},
        {"half left", -0.5f, 0, {1, 0, 0}},
    };
    for (const Point& point : points) {
        SCOPED_TRACE(point.name);
        Sample sample(2.0f);
        sample.aim(point.px, point.py);
        HostBoolean result;
        const testhost::CallRecord* trace = run(sample, &result);
        ASSERT_NE(trace, nullptr);
        EXPECT_TRUE(closeTo(testhost::internalToCamera(trace->in), point.expected, 1e-6));
    }
}

TEST_F(PanoramaTest, DegenerateInputNeverReachesTheHostAsARay) {
    struct Case {
        const char* name;
        HostVector direction;
        float focal, aperture, aspect;
    };
    const Case cases[] = {
        {"direction in the image plane", {0.5f, 0.1f, 0}, 1, 2, 2},
        {"zero direction", {0, 0, 0}, 1, 2, 2},
        {"NaN focal length", {0.1f, 0.1f, -1}, nan, 2, 2},
        {"zero aperture", {0.1f, 0.1f, -1}, 1, 0, 2},
        {"NaN aspect", {0.1f, 0.1f, -1}, 1, 2, nan},
        {"zero focal length", {0.1f, 0.1f, 0}, 0, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sample sample(c.aspect);
        sample.camera.focalLength = c.focal;
        sample.camera.aperture = c.aperture;
        sample.aimCameraSpace(c.direction);
        HostBoolean result;
        EXPECT_EQ(run(sample, &result), nullptr);
        EXPECT_EQ(result, 1);
        EXPECT_EQ(sample.color.r, 0.0f);
        EXPECT_EQ(sample.color.a, 0.0f);
    }
}

}  // namespace
